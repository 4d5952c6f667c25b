#include "support/LoopbackSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace qb::test {

namespace {

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

UniqueFd ListenOnLoopback(std::uint16_t& port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) ThrowErrno("socket");
  int yes = 1;
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address = LoopbackAddress(0);
  if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ThrowErrno("bind");
  }
  if (::listen(socket.Get(), SOMAXCONN) != 0) ThrowErrno("listen");
  port = LocalPort(socket.Get());
  return socket;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ThrowErrno("getsockname");
  }
  return ntohs(address.sin_port);
}

std::uint16_t PickFreeLoopbackPort() {
  std::uint16_t port = 0;
  ListenOnLoopback(port);
  return port;
}

UniqueFd ConnectToLoopback(std::uint16_t port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) ThrowErrno("socket");
  sockaddr_in address = LoopbackAddress(port);
  int result;
  do {
    result = ::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return UniqueFd();
  return socket;
}

}  // namespace qb::test
