#include "screening/DnsBlockList.h"

#include <algorithm>
#include <optional>

#include "screening/HeaderFields.h"

namespace qb {

namespace {

constexpr std::string_view kReceivedPrefix = "received: ";
constexpr std::uint8_t kLoopbackNet = 127;
constexpr std::uint8_t kErrorCodeOctet = 255;

bool ContinuesRecord(const std::string& line) {
  return !line.empty() && line.front() == ' ';
}

std::string_view After(std::string_view text, std::string_view marker) {
  std::size_t found = text.find(marker);
  return found == std::string_view::npos ? text : text.substr(found + marker.size());
}

std::string_view Before(std::string_view text, char marker) {
  std::size_t found = text.find(marker);
  return found == std::string_view::npos ? std::string_view() : text.substr(0, found);
}

std::string_view AfterFrom(std::string_view record) {
  std::size_t found = record.find("from");
  if (found != std::string_view::npos) return record.substr(found + 4);
  return record.substr(std::min<std::size_t>(3, record.size()));
}

// Four decimal parts of 0 to 255, nothing else.
std::optional<Ipv4Address> DottedIpv4(std::string_view text) {
  Ipv4Address parts{};
  for (int k = 0; k < 4; ++k) {
    std::string field = SplitField(text, '.', k);
    bool digits = !field.empty() && field.size() <= 3 &&
                  std::all_of(field.begin(), field.end(), IsAsciiDigit);
    if (!digits || std::stoi(field) > 255) return std::nullopt;
    parts[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(std::stoi(field));
  }
  if (std::count(text.begin(), text.end(), '.') != 3) return std::nullopt;
  return parts;
}

}  // namespace

TextLines RelayRecords(const TextLines& headerLines) {
  TextLines records;
  for (std::size_t i = 0; i < headerLines.size(); ++i) {
    if (!StartsWithIgnoringAsciiCase(headerLines[i], kReceivedPrefix)) continue;
    std::string record = headerLines[i];
    while (i + 1 < headerLines.size() && ContinuesRecord(headerLines[i + 1])) {
      record += headerLines[++i];
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::string RelayAddress(std::string_view record) {
  std::string lower = LowerAscii(record);
  std::string_view text = AfterFrom(lower);
  text = Before(After(text, "("), ')');
  if (text.find('[') != std::string_view::npos) text = Before(After(text, "["), ']');
  if (text.empty() || !IsAsciiDigit(text.front())) return std::string();
  return std::string(text);
}

bool IsErrorCodeAnswer(const Ipv4Address& answer) {
  return answer[0] == kLoopbackNet && answer[1] == kErrorCodeOctet && answer[2] == kErrorCodeOctet;
}

bool IsListedAnswer(const Ipv4Address& answer) {
  return answer[0] == kLoopbackNet && !IsErrorCodeAnswer(answer);
}

std::string BlockListQueryName(std::string_view address, const std::string& zone) {
  std::string name;
  for (int part = 3; part >= 0; --part) {
    name += SplitField(address, '.', part);
    name += '.';
  }
  return name + zone;
}

bool IsPublicRelayAddress(std::string_view address) {
  std::optional<Ipv4Address> parts = DottedIpv4(address);
  if (!parts) return false;
  const std::uint8_t a = (*parts)[0];
  const std::uint8_t b = (*parts)[1];
  bool privateNet = a == 10 || (a == 172 && (b & 0xF0) == 16) || (a == 192 && b == 168);
  bool shared = a == 100 && (b & 0xC0) == 64;
  bool linkLocal = a == 169 && b == 254;
  return !(privateNet || shared || linkLocal || a == 0 || a == kLoopbackNet || a >= 224);
}

TextLines RelayAddressesToCheck(const TextLines& headerLines) {
  TextLines addresses;
  for (const std::string& record : RelayRecords(headerLines)) {
    std::string address = RelayAddress(record);
    if (IsPublicRelayAddress(address)) addresses.push_back(std::move(address));
  }
  return addresses;
}

}  // namespace qb
