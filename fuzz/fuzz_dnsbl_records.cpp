// The relay addresses a header gives the block-list checks: at most one per
// relay record, each a public dotted IPv4 address, whose query name is its
// four parts reversed before the zone ("4.3.2.1.bl.example.org": three dots
// between the parts, one before the zone, and the zone's own).
#include <vector>

#include "FuzzInput.h"
#include "screening/DnsBlockList.h"

namespace {

std::vector<std::string> Parts(const std::string& address) {
  std::vector<std::string> parts(1);
  for (char c : address) {
    if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qb::TextLines lines = qb::fuzz::AsLines(data, size);
  qb::TextLines addresses = qb::RelayAddressesToCheck(lines);
  qb::fuzz::Require(addresses.size() <= qb::RelayRecords(lines).size());
  for (const std::string& address : addresses) {
    qb::fuzz::Require(qb::IsPublicRelayAddress(address));
    std::vector<std::string> parts = Parts(address);
    qb::fuzz::Require(parts.size() == 4);
    std::string reversed;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) reversed += *part + ".";
    qb::fuzz::Require(qb::BlockListQueryName(address, "bl.example.org") ==
                      reversed + "bl.example.org");
  }
  return 0;
}
