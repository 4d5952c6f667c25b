// Socket I/O for the scripted server's threads: every wait also watches a
// stop descriptor, so Stop() ends a session that is blocked in any of them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace qb::test {

enum class WaitOutcome { Ready, Stopped, TimedOut };

// Waits for `events` (POLLIN / POLLOUT) on fd; a negative timeout waits for ever.
WaitOutcome WaitForDescriptor(int fd, short events, int stopFd, std::chrono::milliseconds timeout);

// Sleeps for `pause`; false if the stop descriptor fired first.
bool PauseUnlessStopped(int stopFd, std::chrono::milliseconds pause);

// Sends every byte (non-blocking sends, waiting for room in between).
bool SendAllUnlessStopped(int fd, std::string_view bytes, int stopFd);

// The next line without its LF or CR LF; `buffer` keeps what follows it.
// nullopt when the peer closes, on an error, at stop, or at an overlong line.
std::optional<std::string> ReceiveLineUnlessStopped(int fd, std::string& buffer, int stopFd);

// Sends FIN after what is queued, drains the peer for at most `linger` so that
// the close does not turn into a reset that would discard queued bytes.
void DrainBeforeClose(int fd, int stopFd, std::chrono::milliseconds linger);

}  // namespace qb::test
