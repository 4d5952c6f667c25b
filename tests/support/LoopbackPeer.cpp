#include "support/LoopbackPeer.h"

#include <poll.h>
#include <sys/socket.h>

#include "support/PumpUntil.h"

namespace qb::test {

namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

}  // namespace

UniqueFd PlainListener::Accept(std::chrono::milliseconds timeout) {
  UniqueFd accepted;
  PumpUntil(
      [&] {
        if (Readable(fd_.Get())) accepted = UniqueFd(accept(fd_.Get(), nullptr, nullptr));
        return accepted.Valid();
      },
      timeout);
  return accepted;
}

void SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string ReadPlain(int fd, std::size_t count, std::chrono::milliseconds timeout) {
  std::string received;
  bool closed = false;
  PumpUntil(
      [&] {
        while (!closed && received.size() < count && Readable(fd)) {
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

std::string ReadToEnd(int fd, bool& orderly, std::chrono::milliseconds timeout) {
  std::string received;
  orderly = false;
  bool ended = false;
  PumpUntil(
      [&] {
        while (!ended && Readable(fd)) {
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
