#include "platform/SocketFunctions.h"

#include <dlfcn.h>

#include <cerrno>

#include "platform/SocketError.h"

namespace qb {

const char* const kSocketLibraryName = "libc.so.6";

namespace {

template <typename Function>
void BindEntry(void* library, const char* name, Function& entry) {
  dlerror();
  void* address = dlsym(library, name);
  if (address == nullptr) {
    throw ESocketException(std::string("Procedure ") + name + " not found in " +
                           kSocketLibraryName + " Error #" + std::to_string(errno));
  }
  entry = reinterpret_cast<Function>(address);
}

void* OpenLibrary() {
  // The C library is always mapped into the process: dlopen only takes a
  // reference to it, and the handle is kept for the life of the process.
  static void* library = dlopen(kSocketLibraryName, RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) library = dlopen(kSocketLibraryName, RTLD_NOW);
  if (library == nullptr) {
    throw ESocketException(std::string("Unable to load ") + kSocketLibraryName + " Error #" +
                           std::to_string(errno));
  }
  return library;
}

}  // namespace

SocketFunctionTable BindSystemSocketFunctions() {
  void* library = OpenLibrary();
  SocketFunctionTable table;
  BindEntry(library, "socket", table.socket);
  BindEntry(library, "bind", table.bind);
  BindEntry(library, "listen", table.listen);
  BindEntry(library, "accept4", table.accept4);
  BindEntry(library, "connect", table.connect);
  BindEntry(library, "send", table.send);
  BindEntry(library, "sendmsg", table.sendmsg);
  BindEntry(library, "recv", table.recv);
  BindEntry(library, "shutdown", table.shutdown);
  BindEntry(library, "close", table.close);
  BindEntry(library, "setsockopt", table.setsockopt);
  BindEntry(library, "getsockopt", table.getsockopt);
  BindEntry(library, "getsockname", table.getsockname);
  BindEntry(library, "getpeername", table.getpeername);
  BindEntry(library, "ioctl", table.ioctl);
  BindEntry(library, "gethostbyname", table.gethostbyname);
  BindEntry(library, "getservbyname", table.getservbyname);
  BindEntry(library, "getprotobyname", table.getprotobyname);
  return table;
}

}  // namespace qb
