#include "support/StoppableIo.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace qb::test {

namespace {

constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr std::size_t kReceiveChunk = 16 * 1024;

}  // namespace

WaitOutcome WaitForDescriptor(int fd, short events, int stopFd, std::chrono::milliseconds timeout) {
  pollfd descriptors[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
  int count = fd >= 0 ? 2 : 1;
  int milliseconds = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
  int ready;
  do {
    ready = ::poll(descriptors, count, milliseconds);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0 || descriptors[0].revents != 0) return WaitOutcome::Stopped;
  if (ready == 0) return WaitOutcome::TimedOut;
  return WaitOutcome::Ready;
}

bool PauseUnlessStopped(int stopFd, std::chrono::milliseconds pause) {
  if (pause.count() <= 0) return true;
  return WaitForDescriptor(-1, 0, stopFd, pause) == WaitOutcome::TimedOut;
}

bool SendAllUnlessStopped(int fd, std::string_view bytes, int stopFd) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (WaitForDescriptor(fd, POLLOUT, stopFd, std::chrono::milliseconds(-1)) !=
        WaitOutcome::Ready) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> ReceiveLineUnlessStopped(int fd, std::string& buffer, int stopFd) {
  std::size_t scanned = 0;
  while (true) {
    std::size_t newline = buffer.find('\n', scanned);
    if (newline != std::string::npos) {
      std::string line = buffer.substr(0, newline);
      buffer.erase(0, newline + 1);
      if (line.ends_with('\r')) line.pop_back();
      return line;
    }
    if (buffer.size() > kMaxLineBytes) return std::nullopt;
    scanned = buffer.size();
    if (WaitForDescriptor(fd, POLLIN, stopFd, std::chrono::milliseconds(-1)) !=
        WaitOutcome::Ready) {
      return std::nullopt;
    }
    char chunk[kReceiveChunk];
    ssize_t received = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (received < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (received <= 0) return std::nullopt;
    buffer.append(chunk, static_cast<std::size_t>(received));
  }
}

void DrainBeforeClose(int fd, int stopFd, std::chrono::milliseconds linger) {
  ::shutdown(fd, SHUT_WR);
  auto deadline = std::chrono::steady_clock::now() + linger;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    if (WaitForDescriptor(fd, POLLIN, stopFd, left) != WaitOutcome::Ready) return;
    char chunk[kReceiveChunk];
    ssize_t received = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (received == 0 || (received < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}

}  // namespace qb::test
