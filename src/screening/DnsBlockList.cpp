#include "screening/DnsBlockList.h"

#include <algorithm>

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

bool IsListedAddress(std::string_view address, const TextLines& dnsblList,
                     IHostResolver& resolver) {
  if (dnsblList.empty() || dnsblList.front().empty()) return false;
  std::vector<Ipv4Address> answers =
      resolver.ResolveIPv4(BlockListQueryName(address, dnsblList.front()));
  return std::any_of(answers.begin(), answers.end(), IsListedAnswer);
}

bool DnsBlockListTest(const TextLines& headerLines, const TextLines& dnsblList,
                      IHostResolver& resolver) {
  if (dnsblList.empty()) return false;
  for (const std::string& record : RelayRecords(headerLines)) {
    std::string address = RelayAddress(record);
    if (!address.empty() && IsListedAddress(address, dnsblList, resolver)) return true;
  }
  return false;
}

}  // namespace qb
