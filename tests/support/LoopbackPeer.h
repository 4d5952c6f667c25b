// Plain blocking POSIX sockets on loopback as the other end of a socket under
// test, so that a fault of the socket layer cannot hide in its peer. Every
// wait turns the program's message loop, so that the socket under test can
// connect, send and receive meanwhile. Built on LoopbackSockets.h.
//
//   PlainListener listener;
//   socket.SetPort(listener.PortText());
//   socket.Connect();
//   UniqueFd peer = listener.Accept();
//   SendAll(peer.Get(), "+OK\r\n");
//   EXPECT_EQ(ReadPlain(peer.Get(), 6), "QUIT\r\n");
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "support/LoopbackSockets.h"

namespace qb::test {

// A listening socket on 127.0.0.1 with an ephemeral port.
class PlainListener {
 public:
  PlainListener() : fd_(ListenOnLoopback(port_)) {}

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // Accepts one connection, turning the loop meanwhile; invalid on timeout.
  UniqueFd Accept(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  std::uint16_t port_ = 0;
  UniqueFd fd_;
};

// Sends every byte, blocking; stops early when the peer is gone.
void SendAll(int fd, const std::string& bytes);

// Reads until `count` bytes arrived, the peer closed, or the timeout passed.
std::string ReadPlain(int fd, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Reads everything up to the end of the stream; `orderly` tells whether the
// stream ended with a proper close rather than a reset.
std::string ReadToEnd(int fd, bool& orderly,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace qb::test
