// The relay addresses a header gives the block-list checks: at most one per
// relay record, each a public dotted IPv4 address, whose query name is its
// parts reversed before the zone.
#include "FuzzInput.h"
#include "screening/DnsBlockList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qb::TextLines lines = qb::fuzz::AsLines(data, size);
  qb::TextLines addresses = qb::RelayAddressesToCheck(lines);
  qb::fuzz::Require(addresses.size() <= qb::RelayRecords(lines).size());
  for (const std::string& address : addresses) {
    qb::fuzz::Require(qb::IsPublicRelayAddress(address));
    qb::fuzz::Require(
        qb::BlockListQueryName(address, "bl.example.org").ends_with(".bl.example.org"));
  }
  return 0;
}
