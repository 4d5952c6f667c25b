// Asynchronous selection of network events into window messages, with the
// re-enabling rules of the Windows socket interface:
// - each event is reported once, as one message (wParam = the socket,
//   lParam = event flag | error << 16), and re-armed by the call that
//   consumes it: receiving re-arms read, accepting re-arms accept, a send
//   that would block, or that the system took only in part, arms write;
// - connect completion is reported once, with its error, followed by a
//   write event when it succeeded;
// - a peer's close is reported once, after the data before it has been read.
// All of it runs on the main thread, through the message loop's watches.
#pragma once

#include <cstdint>

#include "platform/MessageLoop.h"

namespace qb {

constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr LPARAM MakeSelectReply(long event, int error) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(error & 0xFFFF) << 16) | (event & 0xFFFF));
}
constexpr long SelectEvent(LPARAM lParam) {
  return static_cast<long>(lParam & 0xFFFF);
}
constexpr int SelectError(LPARAM lParam) {
  return static_cast<int>((lParam >> 16) & 0xFFFF);
}

// Registers (or replaces) the selection for `fd`; events 0 cancels it.
// Makes the descriptor non-blocking. Returns 0 or a Windows Sockets error.
int AsyncSelectRegister(int fd, HWND window, std::uint32_t msg, long events);
// The calls that consume an event re-arm it.
void AsyncSelectRearm(int fd, long event);
// connect() was issued on `fd`: its completion is awaited.
void AsyncSelectConnecting(int fd);
// listen() succeeded on `fd`: readiness means a connection to accept.
void AsyncSelectListening(int fd);
// The descriptor is being closed.
void AsyncSelectForget(int fd);

}  // namespace qb
