#include "net/SocketRuntime.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/AsciiText.h"
#include "platform/SocketError.h"
#include "platform/SocketLibrary.h"

namespace qb {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Four decimal numbers of at most 255 separated by three dots.
std::optional<std::uint32_t> DottedAddress(const std::string& text) {
  std::uint32_t address = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    std::size_t start = i;
    unsigned value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 4)
      value = value * 10 + (text[i++] - '0');
    if (i == start || value > 255) return std::nullopt;
    address = (address << 8) | value;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return htonl(address);
}

// The leading decimal digits of a text, not range-checked.
unsigned long LeadingNumber(const std::string& text) {
  unsigned long value = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  return value;
}

std::string LastErrorText() {
  return std::to_string(winsock::WSAGetLastError());
}

}  // namespace

std::uint32_t SocketResolveHost(const std::string& host) {
  if (host.empty() || host.size() > 256) {
    throw ESocketException("SocketResolveHost: '" + host + "' Invalid Hostname.");
  }
  std::string trimmed = TrimBlanks(host);
  if (auto dotted = DottedAddress(trimmed)) {
    if (*dotted == INADDR_NONE && trimmed != "255.255.255.255") {
      throw ESocketException("SocketResolveHost: '" + host + "' Invalid IP address.");
    }
    return *dotted;
  }
  hostent* entry = winsock::gethostbyname(trimmed.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
    throw ESocketException("SocketResolveHost: Cannot convert host address '" + host +
                           "', Error #" + LastErrorText());
  }
  std::uint32_t address;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  return address;
}

std::uint16_t SocketResolvePort(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() >= 32) throw ESocketException("SocketResolvePort: Invalid Port.");
  if (proto.empty() || proto.size() >= 32)
    throw ESocketException("SocketResolvePort: Invalid Proto.");
  if (IsDigit(port[0])) return htons(static_cast<std::uint16_t>(LeadingNumber(port)));
  std::string protocol = LowerAscii(TrimBlanks(proto));
  servent* entry = winsock::getservbyname(port.c_str(), protocol.c_str());
  if (entry == nullptr) {
    throw ESocketException("SocketResolvePort: Cannot convert port '" + port + "', Error #" +
                           LastErrorText());
  }
  return static_cast<std::uint16_t>(entry->s_port);
}

int SocketResolveProto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) {
    throw ESocketException("SocketResolveProto: Invalid Protocol.");
  }
  if (IsDigit(proto[0])) return static_cast<int>(LeadingNumber(proto));
  std::string name = LowerAscii(TrimBlanks(proto));
  if (name == "tcp") return IPPROTO_TCP;
  if (name == "udp") return IPPROTO_UDP;
  if (name == "raw") return IPPROTO_RAW;
  protoent* entry = winsock::getprotobyname(name.c_str());
  if (entry == nullptr) {
    throw ESocketException("SocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
                           LastErrorText());
  }
  return entry->p_proto;
}

std::string WSocketErrorDesc(int code) {
  static const std::map<int, const char*> descriptions = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Protocol wrong type for socket"},
      {10042, "Protocol not available"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported by protocol family"},
      {10048, "Address already in use"},
      {10049, "Address not available"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection on reset"},
      {10053, "Connection aborted"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references: can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network sub-system is unusable"},
      {10092, "WinSock DLL cannot support this application"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11002, "Non-authoritative host not found"},
      {11003, "Non-recoverable error"},
      {11004, "No Data"},
  };
  auto found = descriptions.find(code);
  return found != descriptions.end() ? found->second : "Not a WinSock error";
}

std::string SocketErrorMessage(int code, const std::string& function) {
  return "Error " + std::to_string(code) + " in function " + function + "\r\n" +
         WSocketErrorDesc(code);
}

namespace {

// Guards the registration of the hidden-window class.
std::mutex& WindowClassLock() {
  static std::mutex lock;
  return lock;
}
int socketWindows = 0;

}  // namespace

HWND AllocateSocketWindow(WindowProc proc) {
  {
    std::lock_guard guard(WindowClassLock());
    ++socketWindows;
  }
  return MessageLoop::Instance().CreateWindow(std::move(proc));
}

void ReleaseSocketWindow(HWND window) {
  MessageLoop::Instance().DestroyWindow(window);
  std::lock_guard guard(WindowClassLock());
  if (socketWindows > 0) --socketWindows;
}

bool SocketWindowClassRegistered() {
  std::lock_guard guard(WindowClassLock());
  return socketWindows > 0;
}

}  // namespace qb
