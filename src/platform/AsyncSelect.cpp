#include "platform/AsyncSelect.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <unordered_map>

#include "platform/WinsockErrors.h"

namespace qb {

namespace {

enum class Phase { Idle, Connecting, Connected, Listening, Finished };

struct Selection {
  HWND Window = 0;
  std::uint32_t Msg = 0;
  long Events = 0;  // what was asked for
  long Armed = 0;   // what may be reported next
  Phase Stage = Phase::Idle;
  // A read event was reported and not yet re-armed. The descriptor's read
  // interest stays registered meanwhile (the usual case re-arms it in the
  // same turn, so two epoll changes per read are saved); only a readiness
  // seen before the re-arm takes it out.
  bool ReadInFlight = false;
};

std::unordered_map<int, Selection>& Selections() {
  static std::unordered_map<int, Selection> selections;
  return selections;
}

int SocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return WinsockErrorFromErrno(error);
}

int PendingBytes(int fd) {
  int pending = 0;
  if (ioctl(fd, FIONREAD, &pending) != 0) return 0;
  return pending;
}

Phase PhaseOf(int fd) {
  int listening = 0;
  socklen_t length = sizeof listening;
  if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening) {
    return Phase::Listening;
  }
  sockaddr_storage peer{};
  socklen_t peerLength = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
    return Phase::Connected;
  return Phase::Idle;
}

void Report(int fd, Selection& selection, long event, int error) {
  if (!(selection.Armed & event)) return;
  selection.Armed &= ~event;
  if (event == FD_READ) selection.ReadInFlight = true;
  MessageLoop::Instance().PostMessage(selection.Window, selection.Msg, static_cast<WPARAM>(fd),
                                      MakeSelectReply(event, error));
}

void UpdateInterest(int fd, const Selection& s) {
  bool read = false;
  bool write = false;
  switch (s.Stage) {
    case Phase::Listening:
      read = s.Armed & FD_ACCEPT;
      break;
    case Phase::Connecting:
      write = true;
      break;
    case Phase::Connected:
      read =
          (s.Armed & FD_READ) || s.ReadInFlight || (!(s.Events & FD_READ) && (s.Armed & FD_CLOSE));
      write = s.Armed & FD_WRITE;
      break;
    default:
      break;
  }
  MessageLoop::Instance().Modify(fd, read, write);
}

void OnConnectDone(int fd, Selection& s) {
  int error = SocketError(fd);
  Report(fd, s, FD_CONNECT, error);
  if (error != 0) {
    s.Stage = Phase::Finished;
    return;
  }
  s.Stage = Phase::Connected;
  Report(fd, s, FD_WRITE, 0);
}

void OnConnectedReady(int fd, Selection& s, DescriptorEvents ready) {
  bool readable = ready.Readable || ready.HangUp || ready.Error;
  if (readable && s.ReadInFlight && !(s.Armed & FD_READ)) {
    // Nothing is reported before the read event in flight is re-armed.
    s.ReadInFlight = false;
    readable = false;
  }
  if (readable) {
    if (PendingBytes(fd) > 0) {
      Report(fd, s, FD_READ, 0);
    } else if (s.Armed & (FD_READ | FD_CLOSE)) {
      // Nothing left to read and the descriptor is readable: the peer closed
      // or the connection failed.
      int error = ready.Error ? SocketError(fd) : 0;
      Report(fd, s, FD_CLOSE, error);
      s.Stage = Phase::Finished;
    }
  }
  if (ready.Writable && s.Stage == Phase::Connected) Report(fd, s, FD_WRITE, 0);
}

void OnReady(int fd, DescriptorEvents ready) {
  auto found = Selections().find(fd);
  if (found == Selections().end()) return;
  Selection& s = found->second;
  switch (s.Stage) {
    case Phase::Listening:
      if (ready.Readable) Report(fd, s, FD_ACCEPT, 0);
      break;
    case Phase::Connecting:
      OnConnectDone(fd, s);
      break;
    case Phase::Connected:
      OnConnectedReady(fd, s, ready);
      break;
    default:
      break;
  }
  UpdateInterest(fd, s);
}

}  // namespace

int AsyncSelectRegister(int fd, HWND window, std::uint32_t msg, long events) {
  if (fd < 0) return WSAENOTSOCK;
  if (events == 0) {
    AsyncSelectForget(fd);
    return 0;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    return WinsockErrorFromErrno(errno);
  }
  Selection& s = Selections()[fd];
  s.Window = window;
  s.Msg = msg;
  s.Events = events;
  s.Armed = events;
  if (s.Stage != Phase::Connecting) s.Stage = PhaseOf(fd);
  auto& loop = MessageLoop::Instance();
  if (!loop.IsWatched(fd))
    loop.Watch(fd, false, false, [fd](DescriptorEvents e) { OnReady(fd, e); });
  UpdateInterest(fd, s);
  return 0;
}

void AsyncSelectRearm(int fd, long event) {
  auto found = Selections().find(fd);
  if (found == Selections().end()) return;
  Selection& s = found->second;
  if (event == FD_READ) s.ReadInFlight = false;
  if (!(s.Events & event) || (s.Armed & event)) return;
  s.Armed |= event;
  UpdateInterest(fd, s);
}

void AsyncSelectConnecting(int fd) {
  auto found = Selections().find(fd);
  if (found == Selections().end()) return;
  found->second.Stage = Phase::Connecting;
  UpdateInterest(fd, found->second);
}

void AsyncSelectListening(int fd) {
  auto found = Selections().find(fd);
  if (found == Selections().end()) return;
  found->second.Stage = Phase::Listening;
  UpdateInterest(fd, found->second);
}

void AsyncSelectForget(int fd) {
  Selections().erase(fd);
  MessageLoop::Instance().Unwatch(fd);
}

}  // namespace qb
