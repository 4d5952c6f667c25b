// Process-wide services under every socket object: name resolution, the
// description of each Windows Sockets error, and the hidden window through
// which a socket object receives its messages.
#pragma once

#include <cstdint>
#include <string>

#include "platform/MessageLoop.h"

namespace qb {

// Messages of a socket object's hidden window.
constexpr std::uint32_t WM_ASYNCSELECT = WM_USER + 1;
constexpr std::uint32_t WM_CLOSE_DELAYED = WM_USER + 4;
constexpr std::uint32_t WM_WSOCKET_TEST = WM_USER + 6;
constexpr std::uint32_t WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;
constexpr std::uint32_t WM_CLIENT_CLOSED = WM_USER + 30;

// Each returns a number or throws ESocketException with the user's text.
// The address and port are in network byte order.
std::uint32_t SocketResolveHost(const std::string& host);
std::uint16_t SocketResolvePort(const std::string& port, const std::string& proto);
int SocketResolveProto(const std::string& proto);

// The fixed description of a Windows Sockets error code.
std::string WSocketErrorDesc(int code);

// "Error <code> in function <name>" CR LF <description>.
std::string SocketErrorMessage(int code, const std::string& function);

// The hidden window of a socket object ("XSocketWindowClass"). The class is
// registered with the first window and unregistered with the last.
HWND AllocateSocketWindow(WindowProc proc);
void ReleaseSocketWindow(HWND window);
bool SocketWindowClassRegistered();

}  // namespace qb
