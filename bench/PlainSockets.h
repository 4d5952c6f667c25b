// Plain blocking sockets on 127.0.0.1 for the baselines and the clients of
// the benchmarks.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace qb::bench {

// The local port a bound socket has.
inline int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A listening socket on 127.0.0.1 with a port the system chose.
inline int ListenOnLoopback(int backlog) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(fd, backlog);
  return fd;
}

// A blocking connection to 127.0.0.1:port.
inline int ConnectToLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  return fd;
}

}  // namespace qb::bench
