// Name resolution behind an interface: the system resolver by default, a
// fake in tests. Lookups block the calling thread until the resolver answers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qb {

using Ipv4Address = std::array<std::uint8_t, 4>;   // in network order: {127, 0, 0, 1}
using Ipv6Address = std::array<std::uint8_t, 16>;  // in network order

class IHostResolver {
 public:
  virtual ~IHostResolver() = default;
  // The IPv4 addresses the name resolves to; empty when it does not resolve
  // for any reason (no such name, no network, malformed name).
  virtual std::vector<Ipv4Address> ResolveIPv4(const std::string& hostName) = 0;
  // The IPv6 addresses, the same way; a resolver that knows none has none.
  virtual std::vector<Ipv6Address> ResolveIPv6(const std::string&) { return {}; }
};

// The C library's resolver (getaddrinfo), blocking.
class SystemHostResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string& hostName) override;
  std::vector<Ipv6Address> ResolveIPv6(const std::string& hostName) override;
};

// The resolver in use: the system resolver (which lives as long as the
// process) until one is installed. The installer keeps the object alive
// while it is installed.
IHostResolver& CurrentHostResolver();
IHostResolver* InstallHostResolver(IHostResolver* resolver);  // returns the previous one

}  // namespace qb
