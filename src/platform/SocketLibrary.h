// The socket library as the socket layer sees it: Windows-Sockets-shaped
// functions over the socket function table.
//
// - The table is bound on first use of any function, under one lock, and
//   forgotten when the last socket object is released (AddSocketObject /
//   ReleaseSocketObject keep the live-object count).
// - Failures return -1 (or INVALID_SOCKET / nullptr) and leave a Windows
//   Sockets error number for WSAGetLastError.
// - recv, accept and a send that would block re-arm their network events
//   (see AsyncSelect.h); no send ever raises SIGPIPE.
#pragma once

#include <netinet/in.h>
#include <sys/uio.h>

#include <cstdint>

#include "platform/MessageLoop.h"
#include "platform/SocketFunctions.h"

namespace qb::winsock {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Library lifetime.
void AddSocketObject();
void ReleaseSocketObject();
int LiveSocketObjects();
bool IsLoaded();
int LoadCount();  // how often the library has been loaded in this process
// The requested interface version; false (nothing changed) once loaded.
bool SetRequestedVersion(std::uint8_t low, std::uint8_t high);
std::uint8_t RequestedVersionLow();
std::uint8_t RequestedVersionHigh();
// Installs a table of the caller's (kept alive by the caller) in place of
// the system one; nullptr goes back to the system table.
void InstallSocketFunctions(const SocketFunctionTable* table);
// The system table, bound by name (for tests that replace a few entries).
const SocketFunctionTable& SystemSocketFunctions();

int WSAGetLastError();
void WSASetLastError(int error);
int WSAAsyncSelect(SOCKET s, HWND window, std::uint32_t msg, long events);

SOCKET socket(int family, int type, int protocol);
// The IPv6 overloads serve sockets made with AF_INET6.
int bind(SOCKET s, const sockaddr_in& address);
int bind(SOCKET s, const sockaddr_in6& address);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr_in* peer);
int connect(SOCKET s, const sockaddr_in& address);
int connect(SOCKET s, const sockaddr_in6& address);
int send(SOCKET s, const void* data, int length, int flags);
// One send of several pieces, in order (a gathering send).
int sendv(SOCKET s, const iovec* pieces, int count, int flags);
int recv(SOCKET s, void* buffer, int length, int flags);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int name, const void* value, int length);
int getsockname(SOCKET s, sockaddr_in* address);
int getpeername(SOCKET s, sockaddr_in* address);
// Either family.
int getsockname(SOCKET s, sockaddr_storage* address);
int getpeername(SOCKET s, sockaddr_storage* address);
int ioctlsocketFionread(SOCKET s, unsigned long* pending);
hostent* gethostbyname(const char* name);
servent* getservbyname(const char* name, const char* protocol);
protoent* getprotobyname(const char* name);

}  // namespace qb::winsock
