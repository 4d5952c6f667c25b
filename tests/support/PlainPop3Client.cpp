#include "support/PlainPop3Client.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace qb::test {

namespace {

constexpr std::size_t kIncomplete = 0;

std::size_t LineLength(std::string_view buffer) {
  std::size_t end = buffer.find("\r\n");
  return end == std::string_view::npos ? kIncomplete : end + 2;
}

std::size_t MultiLineLength(std::string_view buffer) {
  std::size_t statusLength = LineLength(buffer);
  if (statusLength == kIncomplete) return kIncomplete;
  if (buffer.starts_with("-ERR")) return statusLength;
  // The terminator's leading CR LF may be the status line's own.
  std::size_t end = buffer.find("\r\n.\r\n", statusLength - 2);
  return end == std::string_view::npos ? kIncomplete : end + 5;
}

}  // namespace

PlainPop3Client::PlainPop3Client(std::uint16_t port) : socket_(ConnectToLoopback(port)) {}

bool PlainPop3Client::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::optional<std::string> PlainPop3Client::ReadLine(Milliseconds timeout) {
  return ReadUntil(LineLength, timeout);
}

std::optional<std::string> PlainPop3Client::ReadMultiLine(Milliseconds timeout) {
  return ReadUntil(MultiLineLength, timeout);
}

std::optional<std::string> PlainPop3Client::ReadUntilClosed(Milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!peerClosed_) {
    if (!ReceiveMore(deadline)) return std::nullopt;
  }
  return std::exchange(buffer_, {});
}

std::string PlainPop3Client::Command(std::string_view line, Milliseconds timeout) {
  if (!SendLine(line)) return {};
  return ReadLine(timeout).value_or("");
}

std::optional<std::string> PlainPop3Client::MultiLineCommand(std::string_view line,
                                                             Milliseconds timeout) {
  if (!SendLine(line)) return std::nullopt;
  return ReadMultiLine(timeout);
}

bool PlainPop3Client::LogIn(std::string_view user, std::string_view password) {
  return ReadLine().value_or("").starts_with("+OK") &&
         Command("USER " + std::string(user)).starts_with("+OK") &&
         Command("PASS " + std::string(password)).starts_with("+OK");
}

std::optional<std::string> PlainPop3Client::ReadUntil(std::size_t (*complete)(std::string_view),
                                                      Milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    std::size_t length = complete(buffer_);
    if (length != kIncomplete) {
      std::string unit = buffer_.substr(0, length);
      buffer_.erase(0, length);
      return unit;
    }
    if (peerClosed_ || !ReceiveMore(deadline)) return std::nullopt;
  }
}

// False at the deadline or on an error; a close sets peerClosed_.
bool PlainPop3Client::ReceiveMore(std::chrono::steady_clock::time_point deadline) {
  if (!socket_.Valid()) return false;
  auto left = std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd descriptor{socket_.Get(), POLLIN, 0};
  int ready = ::poll(&descriptor, 1, static_cast<int>(left.count()));
  if (ready < 0 && errno == EINTR) return true;
  if (ready <= 0) return false;
  char chunk[16 * 1024];
  ssize_t received = ::recv(socket_.Get(), chunk, sizeof chunk, 0);
  if (received < 0 && errno == EINTR) return true;
  if (received < 0 && errno != ECONNRESET) return false;
  if (received <= 0) {
    peerClosed_ = true;
    return true;
  }
  buffer_.append(chunk, static_cast<std::size_t>(received));
  return true;
}

}  // namespace qb::test
