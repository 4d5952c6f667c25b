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

Ipv4Address AddressOf(const sockaddr* address) {
  const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
  Ipv4Address bytes{};
  std::memcpy(bytes.data(), &inet->sin_addr.s_addr, bytes.size());
  return bytes;
}

}  // namespace

std::vector<Ipv4Address> SystemHostResolver::ResolveIPv4(const std::string& hostName) {
  std::vector<Ipv4Address> addresses;
  if (hostName.empty() || hostName.find('\0') != std::string::npos) return addresses;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &results) != 0) return addresses;
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    Ipv4Address address = AddressOf(entry->ai_addr);
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
      addresses.push_back(address);
    }
  }
  freeaddrinfo(results);
  return addresses;
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
