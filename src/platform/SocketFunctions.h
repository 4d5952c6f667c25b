// The socket function table: the C library's socket functions, bound by name
// at run time. Tests may install a table of their own (usually a copy of the
// system one with a few entries replaced) to inject failures.
#pragma once

#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <string>

namespace qb {

struct SocketFunctionTable {
  int (*socket)(int domain, int type, int protocol) = nullptr;
  int (*bind)(int fd, const sockaddr* address, socklen_t length) = nullptr;
  int (*listen)(int fd, int backlog) = nullptr;
  int (*accept4)(int fd, sockaddr* address, socklen_t* length, int flags) = nullptr;
  int (*connect)(int fd, const sockaddr* address, socklen_t length) = nullptr;
  ssize_t (*send)(int fd, const void* data, size_t length, int flags) = nullptr;
  ssize_t (*sendmsg)(int fd, const msghdr* message, int flags) = nullptr;
  ssize_t (*recv)(int fd, void* buffer, size_t length, int flags) = nullptr;
  int (*shutdown)(int fd, int how) = nullptr;
  int (*close)(int fd) = nullptr;
  int (*setsockopt)(int fd, int level, int name, const void* value, socklen_t length) = nullptr;
  int (*getsockopt)(int fd, int level, int name, void* value, socklen_t* length) = nullptr;
  int (*getsockname)(int fd, sockaddr* address, socklen_t* length) = nullptr;
  int (*getpeername)(int fd, sockaddr* address, socklen_t* length) = nullptr;
  int (*ioctl)(int fd, unsigned long request, ...) = nullptr;
  hostent* (*gethostbyname)(const char* name) = nullptr;
  servent* (*getservbyname)(const char* name, const char* protocol) = nullptr;
  protoent* (*getprotobyname)(const char* name) = nullptr;
};

// The name of the library the functions are bound from.
extern const char* const kSocketLibraryName;

// Binds every entry by name. Throws ESocketException ("Unable to load ..." or
// "Procedure ... not found in ...") when the library or a name is missing.
SocketFunctionTable BindSystemSocketFunctions();

}  // namespace qb
