// Plain POSIX sockets on 127.0.0.1 for the test support. Deliberately
// independent of the program's own socket layer, so that a fault there never
// hides behind a fault in a fake.
#pragma once

#include <cstdint>
#include <utility>

namespace qb::test {

// Owns a descriptor and closes it.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset();

 private:
  int fd_ = -1;
};

// A listening socket on 127.0.0.1 with an ephemeral port. Throws std::system_error.
UniqueFd ListenOnLoopback(std::uint16_t& port);

// The port a bound socket has.
std::uint16_t LocalPort(int fd);

// A port that was free a moment ago, for peers that must be told their port.
std::uint16_t PickFreeLoopbackPort();

// A blocking connection to 127.0.0.1:port; an invalid UniqueFd if refused.
UniqueFd ConnectToLoopback(std::uint16_t port);

}  // namespace qb::test
