// A blocking POP3 client on plain POSIX sockets, for tests that talk to a
// server (scripted, Dovecot or the gateway) from a thread of their own or
// while nothing else needs the message loop. Every read has a deadline.
//
//   PlainPop3Client client(server.Port());
//   client.ReadLine();                       // "+OK ...\r\n"
//   client.Command("USER alice");
//   std::optional<std::string> list = client.MultiLineCommand("LIST");
#pragma once

#include "support/LoopbackSockets.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb::test {

class PlainPop3Client {
 public:
  using Milliseconds = std::chrono::milliseconds;
  static constexpr Milliseconds kDefaultTimeout{5000};

  // Connects to 127.0.0.1:port; Connected() tells whether it worked.
  explicit PlainPop3Client(std::uint16_t port);

  bool Connected() const { return socket_.Valid(); }
  bool Send(std::string_view bytes);
  bool SendLine(std::string_view line) { return Send(std::string(line) + "\r\n"); }

  // One line with its CR LF; nullopt at timeout or when the peer closed first.
  std::optional<std::string> ReadLine(Milliseconds timeout = kDefaultTimeout);
  // A status line and, unless it is "-ERR", the body up to and including
  // CR LF "." CR LF, exactly as received (still dot-stuffed).
  std::optional<std::string> ReadMultiLine(Milliseconds timeout = kDefaultTimeout);
  // Everything until the peer closes; nullopt if it does not close in time.
  std::optional<std::string> ReadUntilClosed(Milliseconds timeout = kDefaultTimeout);

  // SendLine then ReadLine; "" when no reply came.
  std::string Command(std::string_view line, Milliseconds timeout = kDefaultTimeout);
  // SendLine then ReadMultiLine.
  std::optional<std::string> MultiLineCommand(std::string_view line,
                                              Milliseconds timeout = kDefaultTimeout);
  // Greeting, USER and PASS; true if all three were "+OK".
  bool LogIn(std::string_view user, std::string_view password);

 private:
  // Receives until `complete(buffer_)` gives the length of a finished unit.
  std::optional<std::string> ReadUntil(std::size_t (*complete)(std::string_view),
                                       Milliseconds timeout);
  bool ReceiveMore(std::chrono::steady_clock::time_point deadline);

  UniqueFd socket_;
  std::string buffer_;
  bool peerClosed_ = false;
};

}  // namespace qb::test
