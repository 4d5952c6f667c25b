// A resolver that answers from a table and records every name asked for.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/HostResolver.h"

namespace qb {

class FakeHostResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string& hostName) override {
    Queries.push_back(hostName);
    auto found = Answers.find(hostName);
    return found == Answers.end() ? std::vector<Ipv4Address>() : found->second;
  }

  std::map<std::string, std::vector<Ipv4Address>> Answers;
  std::vector<std::string> Queries;
};

}  // namespace qb
