// The resolver for scans in tests: it answers the test's own block-list zone
// from a table and nothing else, and never asks the system's resolver. Give
// the screening ZoneResolver::kZone as its dnsbl list and list the relay
// addresses that should be found.
//
//   ZoneResolver resolver;
//   resolver.List("10.9.8.7");                  // 7.8.9.10.bl.quillbright.test
//   TForm1 form{popup, tray, resolver};
//   form.State.DnsblList = {ZoneResolver::kZone};
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/HostResolver.h"

namespace qb::test {

class ZoneResolver : public IHostResolver {
 public:
  // Under ".test" (RFC 6761): no real block list answers it.
  static constexpr const char* kZone = "bl.quillbright.test";

  // Lists a dotted IPv4 relay address in kZone, with the answer 127.0.0.2.
  void List(const std::string& address);
  std::vector<Ipv4Address> ResolveIPv4(const std::string& hostName) override;
  // Every name asked for, in order.
  const std::vector<std::string>& Queries() const { return queries_; }

 private:
  std::set<std::string> listed_;
  std::vector<std::string> queries_;
};

}  // namespace qb::test
