#include "platform/HostResolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace qb {

namespace {

IHostResolver*& Installed() {
  static IHostResolver* resolver = nullptr;
  return resolver;
}

// The addresses of one family, each once, in the resolver's order.
template <typename Address, typename Inet, typename Field>
std::vector<Address> Resolve(const std::string& hostName, int family, const Field Inet::*field) {
  std::vector<Address> addresses;
  if (hostName.empty() || hostName.find('\0') != std::string::npos) return addresses;
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &results) != 0) return addresses;
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != family || entry->ai_addr == nullptr) continue;
    const auto* inet = reinterpret_cast<const Inet*>(entry->ai_addr);
    Address address{};
    std::memcpy(address.data(), &(inet->*field), address.size());
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
      addresses.push_back(address);
    }
  }
  freeaddrinfo(results);
  return addresses;
}

}  // namespace

std::vector<Ipv4Address> SystemHostResolver::ResolveIPv4(const std::string& hostName) {
  return Resolve<Ipv4Address>(hostName, AF_INET, &sockaddr_in::sin_addr);
}

std::vector<Ipv6Address> SystemHostResolver::ResolveIPv6(const std::string& hostName) {
  return Resolve<Ipv6Address>(hostName, AF_INET6, &sockaddr_in6::sin6_addr);
}

// The system resolver is never destroyed: a lookup worker held by a silent
// name server may still be inside it while the process exits.
IHostResolver& CurrentHostResolver() {
  static auto* system = new SystemHostResolver;
  IHostResolver* installed = Installed();
  return installed ? *installed : *system;
}

IHostResolver* InstallHostResolver(IHostResolver* resolver) {
  IHostResolver* previous = Installed();
  Installed() = resolver;
  return previous;
}

}  // namespace qb
