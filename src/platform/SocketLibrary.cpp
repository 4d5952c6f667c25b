#include "platform/SocketLibrary.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>

#include "platform/AsyncSelect.h"
#include "platform/SocketError.h"
#include "platform/WinsockErrors.h"

namespace qb::winsock {

namespace {

// Guards the binding, the live-object count and the requested version.
std::mutex& LibraryLock() {
  static std::mutex lock;
  return lock;
}

struct LibraryState {
  std::atomic<const SocketFunctionTable*> Active{nullptr};
  const SocketFunctionTable* Installed = nullptr;
  std::optional<SocketFunctionTable> System;
  int LiveObjects = 0;
  int Loads = 0;
  std::uint8_t VersionLow = 1;
  std::uint8_t VersionHigh = 1;
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

thread_local int lastError = 0;

const SocketFunctionTable& SystemTableLocked() {
  LibraryState& state = State();
  if (!state.System) state.System = BindSystemSocketFunctions();
  return *state.System;
}

// Descriptor 0 is no valid socket handle to the socket layer. A process
// started with standard input, output or error closed would hand those
// numbers to sockets, so they are pointed at /dev/null first.
void ReserveStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      int opened = open("/dev/null", O_RDWR);
      if (opened >= 0 && opened != fd) close(opened);
    }
  }
}

// The stand-in for starting the Windows Sockets library: only version 1 and
// later of the interface exist.
void Startup(const LibraryState& state) {
  ReserveStandardDescriptors();
  if (state.VersionLow == 0) {
    throw ESocketException(std::string(kSocketLibraryName) + ": WSAStartup error #" +
                           std::to_string(WSAVERNOTSUPPORTED));
  }
}

const SocketFunctionTable& Api() {
  LibraryState& state = State();
  if (const SocketFunctionTable* active = state.Active.load()) return *active;
  std::lock_guard guard(LibraryLock());
  if (const SocketFunctionTable* active = state.Active.load()) return *active;
  const SocketFunctionTable* table = state.Installed ? state.Installed : &SystemTableLocked();
  Startup(state);
  ++state.Loads;
  state.Active = table;
  return *table;
}

int Fail() {
  lastError = WinsockErrorFromErrno(errno);
  return SOCKET_ERROR;
}

}  // namespace

void AddSocketObject() {
  std::lock_guard guard(LibraryLock());
  ++State().LiveObjects;
}

void ReleaseSocketObject() {
  std::lock_guard guard(LibraryLock());
  LibraryState& state = State();
  if (state.LiveObjects > 0) --state.LiveObjects;
  if (state.LiveObjects == 0) state.Active = nullptr;  // unload: forget every binding
}

int LiveSocketObjects() {
  std::lock_guard guard(LibraryLock());
  return State().LiveObjects;
}

bool IsLoaded() {
  return State().Active.load() != nullptr;
}

int LoadCount() {
  std::lock_guard guard(LibraryLock());
  return State().Loads;
}

bool SetRequestedVersion(std::uint8_t low, std::uint8_t high) {
  std::lock_guard guard(LibraryLock());
  LibraryState& state = State();
  if (state.Active.load() != nullptr) return false;
  state.VersionLow = low;
  state.VersionHigh = high;
  return true;
}

std::uint8_t RequestedVersionLow() {
  return State().VersionLow;
}
std::uint8_t RequestedVersionHigh() {
  return State().VersionHigh;
}

void InstallSocketFunctions(const SocketFunctionTable* table) {
  std::lock_guard guard(LibraryLock());
  LibraryState& state = State();
  state.Installed = table;
  if (state.Active.load() != nullptr) state.Active = table ? table : &SystemTableLocked();
}

const SocketFunctionTable& SystemSocketFunctions() {
  std::lock_guard guard(LibraryLock());
  return SystemTableLocked();
}

int WSAGetLastError() {
  return lastError;
}
void WSASetLastError(int error) {
  lastError = error;
}

int WSAAsyncSelect(SOCKET s, HWND window, std::uint32_t msg, long events) {
  Api();
  int error = AsyncSelectRegister(s, window, msg, events);
  if (error != 0) {
    lastError = error;
    return SOCKET_ERROR;
  }
  return 0;
}

SOCKET socket(int family, int type, int protocol) {
  int fd = Api().socket(family, type | SOCK_CLOEXEC, protocol);
  return fd < 0 ? Fail() : fd;
}

int bind(SOCKET s, const sockaddr_in& address) {
  int r = Api().bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return r != 0 ? Fail() : 0;
}

int bind(SOCKET s, const sockaddr_in6& address) {
  int r = Api().bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return r != 0 ? Fail() : 0;
}

int listen(SOCKET s, int backlog) {
  if (Api().listen(s, backlog) != 0) return Fail();
  AsyncSelectListening(s);
  return 0;
}

SOCKET accept(SOCKET s, sockaddr_in* peer) {
  sockaddr_in ignored{};
  socklen_t length = sizeof(sockaddr_in);
  int fd = Api().accept4(s, reinterpret_cast<sockaddr*>(peer ? peer : &ignored), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  int error = errno;
  AsyncSelectRearm(s, FD_ACCEPT);
  errno = error;
  return fd < 0 ? Fail() : fd;
}

namespace {

int ConnectTo(SOCKET s, const sockaddr* address, socklen_t length) {
  int r = Api().connect(s, address, length);
  if (r == 0 || errno == EINPROGRESS) AsyncSelectConnecting(s);
  if (r == 0) return 0;
  // A non-blocking connect that is under way reads as "would block", as on Windows.
  if (errno == EINPROGRESS) errno = EAGAIN;
  return Fail();
}

}  // namespace

int connect(SOCKET s, const sockaddr_in& address) {
  return ConnectTo(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int connect(SOCKET s, const sockaddr_in6& address) {
  return ConnectTo(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

namespace {

// A send the system could not take whole arms the write event, as one that
// would block does: the rest goes out when the socket is writable again.
int SendResult(SOCKET s, ssize_t sent, std::size_t length) {
  if (sent >= 0 && static_cast<std::size_t>(sent) < length) AsyncSelectRearm(s, FD_WRITE);
  if (sent >= 0) return static_cast<int>(sent);
  if (errno == EAGAIN || errno == EWOULDBLOCK) AsyncSelectRearm(s, FD_WRITE);
  return Fail();
}

}  // namespace

int send(SOCKET s, const void* data, int length, int flags) {
  ssize_t n = Api().send(s, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  return SendResult(s, n, static_cast<std::size_t>(length));
}

int sendv(SOCKET s, const iovec* pieces, int count, int flags) {
  msghdr message{};
  message.msg_iov = const_cast<iovec*>(pieces);
  message.msg_iovlen = static_cast<std::size_t>(count);
  std::size_t length = 0;
  for (int i = 0; i < count; ++i) length += pieces[i].iov_len;
  return SendResult(s, Api().sendmsg(s, &message, flags | MSG_NOSIGNAL), length);
}

int recv(SOCKET s, void* buffer, int length, int flags) {
  ssize_t n = Api().recv(s, buffer, static_cast<size_t>(length), flags);
  int error = errno;
  AsyncSelectRearm(s, FD_READ);
  errno = error;
  return n < 0 ? Fail() : static_cast<int>(n);
}

int shutdown(SOCKET s, int how) {
  return Api().shutdown(s, how) != 0 ? Fail() : 0;
}

int closesocket(SOCKET s) {
  const SocketFunctionTable& api = Api();
  AsyncSelectForget(s);
  return api.close(s) != 0 ? Fail() : 0;
}

int setsockopt(SOCKET s, int level, int name, const void* value, int length) {
  int r = Api().setsockopt(s, level, name, value, static_cast<socklen_t>(length));
  return r != 0 ? Fail() : 0;
}

int getsockname(SOCKET s, sockaddr_in* address) {
  socklen_t length = sizeof(sockaddr_in);
  int r = Api().getsockname(s, reinterpret_cast<sockaddr*>(address), &length);
  return r != 0 ? Fail() : 0;
}

int getpeername(SOCKET s, sockaddr_in* address) {
  socklen_t length = sizeof(sockaddr_in);
  int r = Api().getpeername(s, reinterpret_cast<sockaddr*>(address), &length);
  return r != 0 ? Fail() : 0;
}

int getsockname(SOCKET s, sockaddr_storage* address) {
  socklen_t length = sizeof(sockaddr_storage);
  int r = Api().getsockname(s, reinterpret_cast<sockaddr*>(address), &length);
  return r != 0 ? Fail() : 0;
}

int getpeername(SOCKET s, sockaddr_storage* address) {
  socklen_t length = sizeof(sockaddr_storage);
  int r = Api().getpeername(s, reinterpret_cast<sockaddr*>(address), &length);
  return r != 0 ? Fail() : 0;
}

int ioctlsocketFionread(SOCKET s, unsigned long* pending) {
  int count = 0;
  if (Api().ioctl(s, FIONREAD, &count) != 0) return Fail();
  *pending = static_cast<unsigned long>(count);
  return 0;
}

hostent* gethostbyname(const char* name) {
  hostent* result = Api().gethostbyname(name);
  if (result == nullptr) lastError = WinsockErrorFromResolver(h_errno);
  return result;
}

servent* getservbyname(const char* name, const char* protocol) {
  servent* result = Api().getservbyname(name, protocol);
  if (result == nullptr) lastError = WSANO_DATA;
  return result;
}

protoent* getprotobyname(const char* name) {
  protoent* result = Api().getprotobyname(name);
  if (result == nullptr) lastError = WSANO_DATA;
  return result;
}

}  // namespace qb::winsock
