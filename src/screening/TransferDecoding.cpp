#include "screening/TransferDecoding.h"

#include <cstdint>
#include <optional>

namespace qb {

namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Bytes a complete group gives, from where its padding stands.
std::size_t GroupByteCount(const char (&group)[4]) {
  if (group[0] == '=') return 0;
  if (group[2] == '=') return 1;
  if (group[3] == '=') return 2;
  return 3;
}

void AppendGroup(const char (&group)[4], std::string& out) {
  std::uint32_t bits = 0;
  for (char c : group) {
    int value = Base64Value(c);
    bits = (bits << 6) | static_cast<std::uint32_t>(value < 0 ? 0 : value);
  }
  std::size_t count = GroupByteCount(group);
  for (std::size_t i = 0; i < count; ++i) {
    out += static_cast<char>((bits >> (16 - 8 * i)) & 0xFF);
  }
}

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The 6-bit value of a uuencode character: the backquote and the blank are
// 0, the characters from '!' to '_' are 1 to 63.
std::optional<int> UuValue(char c) {
  if (c == '`' || c == ' ') return 0;
  if (c >= '!' && c <= '_') return c - ' ';
  return std::nullopt;
}

constexpr std::size_t kUuMaxBytes = 45;
constexpr std::size_t kUuFullLineChars = 60;

}  // namespace

std::string DecodeBase64(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size() / 4 * 3);
  char group[4];
  std::size_t filled = 0;
  for (char c : encoded) {
    if (c != '=' && Base64Value(c) < 0) continue;
    group[filled++] = c;
    if (filled == 4) {
      AppendGroup(group, out);
      filled = 0;
    }
  }
  return out;
}

std::string DecodeQuotedPrintable(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '=') {
      out += encoded[i];
      continue;
    }
    if (encoded.size() - i < 3) break;
    int high = UpperHexValue(encoded[i + 1]);
    int low = UpperHexValue(encoded[i + 2]);
    if (high >= 0 && low >= 0) out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string DecodeUULine(std::string_view line) {
  if (line.empty()) return std::string();
  std::optional<int> count = UuValue(line[0]);
  if (!count) return std::string();
  auto byteCount = static_cast<std::size_t>(*count);
  std::size_t chars = byteCount * 4 / 3 == kUuFullLineChars ? kUuFullLineChars : line.size() - 1;
  if (chars > line.size() - 1) chars = line.size() - 1;  // a short line gives what it has

  std::string bytes;
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (std::size_t i = 1; i <= chars; ++i) {
    std::optional<int> value = UuValue(line[i]);
    if (!value) return std::string();  // "UUCODE message format error"
    if (bytes.size() >= kUuMaxBytes) continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(*value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes += static_cast<char>((bits >> bitCount) & 0xFF);
      bits &= (1u << bitCount) - 1;
    }
  }
  if (bytes.size() > byteCount) bytes.resize(byteCount);
  return bytes;
}

}  // namespace qb
