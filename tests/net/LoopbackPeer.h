// Plain blocking POSIX sockets on loopback, as the other end of a socket
// under test, so that a fault of the socket layer cannot hide in its peer.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/MessageLoop.h"

namespace qb::test {

// The message of the exception `action` throws; "(nothing thrown)" if none.
inline std::string Thrown(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

// Turns the message loop until `done` holds or `timeout` passes.
inline bool Pump(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MessageLoop::Instance().WaitAndDispatch(std::chrono::milliseconds(20));
  }
  return true;
}

class PlainListener {
 public:
  PlainListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 64);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~PlainListener() { close(fd_); }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // Accepts one connection, pumping the loop meanwhile; -1 on timeout.
  int Accept() {
    int accepted = -1;
    Pump([&] {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 0) == 1) accepted = accept(fd_, nullptr, nullptr);
      return accepted >= 0;
    });
    return accepted;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A blocking client connected to 127.0.0.1:port.
inline int ConnectPlain(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline void SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// Reads until `count` bytes arrived, the peer closed, or the timeout passed
// (pumping the loop meanwhile, so the socket under test can send).
inline std::string ReadPlain(int fd, std::size_t count,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  std::string received;
  bool closed = false;
  Pump(
      [&] {
        pollfd p{fd, POLLIN, 0};
        while (!closed && received.size() < count && poll(&p, 1, 0) == 1) {
          char buffer[65536];
          ssize_t n = recv(fd, buffer, sizeof buffer, 0);
          if (n <= 0) {
            closed = true;
            break;
          }
          received.append(buffer, static_cast<std::size_t>(n));
        }
        return closed || received.size() >= count;
      },
      timeout);
  return received;
}

// Reads everything up to the end of the stream; `orderly` tells whether the
// stream ended with a proper close rather than a reset.
inline std::string ReadToEnd(int fd, bool& orderly,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  std::string received;
  orderly = false;
  bool ended = false;
  Pump(
      [&] {
        pollfd p{fd, POLLIN, 0};
        while (!ended && poll(&p, 1, 0) == 1) {
          char buffer[4096];
          ssize_t n = recv(fd, buffer, sizeof buffer, 0);
          if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
            continue;
          }
          ended = true;
          orderly = (n == 0);
        }
        return ended;
      },
      timeout);
  return received;
}

}  // namespace qb::test
