#include "support/ZoneResolver.h"

namespace qb::test {

namespace {

// "10.9.8.7" as the zone asks for it: "7.8.9.10.<zone>".
std::string QueryName(const std::string& address) {
  std::string reversed;
  std::size_t end = address.size();
  while (true) {
    std::size_t dot = address.rfind('.', end - 1);
    std::size_t start = dot == std::string::npos ? 0 : dot + 1;
    reversed += address.substr(start, end - start) + ".";
    if (dot == std::string::npos) break;
    end = dot;
  }
  return reversed + ZoneResolver::kZone;
}

}  // namespace

void ZoneResolver::List(const std::string& address) {
  listed_.insert(QueryName(address));
}

std::vector<Ipv4Address> ZoneResolver::ResolveIPv4(const std::string& hostName) {
  queries_.push_back(hostName);
  if (listed_.count(hostName)) return {Ipv4Address{127, 0, 0, 2}};
  return {};
}

}  // namespace qb::test
