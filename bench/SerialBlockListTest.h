// The block-list test done one lookup after another on the calling thread:
// the baseline the benchmarks hold the resolver pool's parallel checks
// against. The first listed relay ends the test.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/HostResolver.h"
#include "screening/DnsBlockList.h"

namespace qb::bench {

inline bool SerialBlockListTest(const TextLines& header, const std::string& zone,
                                IHostResolver& resolver) {
  for (const std::string& address : RelayAddressesToCheck(header)) {
    std::vector<Ipv4Address> answers = resolver.ResolveIPv4(BlockListQueryName(address, zone));
    if (std::any_of(answers.begin(), answers.end(), IsListedAnswer)) return true;
  }
  return false;
}

}  // namespace qb::bench
