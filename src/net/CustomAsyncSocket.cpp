#include "net/CustomAsyncSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <sys/uio.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "net/SocketRuntime.h"
#include "platform/AsciiText.h"
#include "platform/AsyncSelect.h"
#include "platform/SocketError.h"
#include "platform/SocketLibrary.h"
#include "platform/WinsockErrors.h"

namespace qb {

namespace {

constexpr long kConnectEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
constexpr long kListenEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
constexpr long kDupEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

sockaddr_in InternetAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = address;
  result.sin_port = port;
  return result;
}

sockaddr_in6 Internet6Address(const std::array<std::uint8_t, 16>& address, std::uint16_t port) {
  sockaddr_in6 result{};
  result.sin6_family = AF_INET6;
  std::memcpy(&result.sin6_addr, address.data(), address.size());
  result.sin6_port = port;
  return result;
}

// "::1" or "[::1]": an IPv6 literal, as a login or a listener names it.
bool ParseIpv6Literal(const std::string& text, std::array<std::uint8_t, 16>& address) {
  std::string bare = text;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  return inet_pton(AF_INET6, bare.c_str(), address.data()) == 1;
}

std::string PeerText(const sockaddr_storage& peer) {
  char text[INET6_ADDRSTRLEN];
  const void* address =
      peer.ss_family == AF_INET6
          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr)
          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(peer).sin_addr);
  return inet_ntop(peer.ss_family, address, text, sizeof text) ? text : "error";
}

std::uint16_t PortOf(const sockaddr_storage& address) {
  return ntohs(address.ss_family == AF_INET6
                   ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                   : reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

}  // namespace

std::int64_t TCustomAsyncSocket::droppedExceptions_ = 0;

TCustomAsyncSocket::TCustomAsyncSocket() {
  winsock::AddSocketObject();
  window_ = AllocateSocketWindow([this](std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
    Dispatch(msg, wParam, lParam);
    return LRESULT{0};
  });
  if (window_ == 0) {
    winsock::ReleaseSocketObject();
    throw ESocketException("Cannot create a hidden window for TAsyncSocket");
  }
  AssignDefaultValue();
}

TCustomAsyncSocket::~TCustomAsyncSocket() {
  destroying_ = true;
  Unpair();
  try {
    if (state_ != wsClosed) InternalClose(true, 0);
  } catch (...) {
  }
  if (hSocket_ != kInvalidSocket) winsock::closesocket(hSocket_);
  sendQueue_.Clear();
  ReleaseSocketWindow(window_);
  winsock::ReleaseSocketObject();
}

// ---- properties -------------------------------------------------------------

void TCustomAsyncSocket::SetRemoteText(std::string& field, bool& assigned, bool& resolved,
                                       const std::string& value, const char* name) {
  std::string trimmed = TrimBlanks(value);
  if (trimmed == field) return;
  if (state_ != wsClosed) {
    ReportError(std::string("Cannot change ") + name + " if not closed");
    return;
  }
  field = trimmed;
  assigned = !trimmed.empty();
  resolved = false;
}

void TCustomAsyncSocket::SetAddr(const std::string& value) {
  SetRemoteText(addr_, addrAssigned_, addrResolved_, value, "Addr");
}

void TCustomAsyncSocket::SetResolvedAddr(const std::array<std::uint8_t, 4>& address) {
  if (state_ != wsClosed) {
    ReportError("Cannot change Addr if not closed");
    return;
  }
  std::memcpy(&addrValue_, address.data(), sizeof addrValue_);
  family_ = AF_INET;
  addrResolved_ = true;
}

void TCustomAsyncSocket::SetResolvedAddr6(const std::array<std::uint8_t, 16>& address) {
  if (state_ != wsClosed) {
    ReportError("Cannot change Addr if not closed");
    return;
  }
  addr6Value_ = address;
  family_ = AF_INET6;
  addrResolved_ = true;
}

void TCustomAsyncSocket::SetPort(const std::string& value) {
  SetRemoteText(port_, portAssigned_, portResolved_, value, "Port");
}

void TCustomAsyncSocket::SetProto(const std::string& value) {
  SetRemoteText(proto_, protoAssigned_, protoResolved_, value, "Proto");
}

void TCustomAsyncSocket::SetLocalAddr(const std::string& value) {
  std::string trimmed = TrimBlanks(value);
  if (trimmed.empty()) trimmed = "0.0.0.0";
  if (trimmed == localAddr_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change LocalAddr if not closed");
    return;
  }
  localAddr_ = trimmed;
}

void TCustomAsyncSocket::SetLocalPort(const std::string& value) {
  std::string trimmed = TrimBlanks(value);
  if (trimmed == localPort_) return;
  if (state_ != wsClosed) {
    ReportError("Cannot change LocalPort if not closed");
    return;
  }
  localPort_ = trimmed;
  localPortResolved_ = false;
}

int TCustomAsyncSocket::ReqVerLow() const {
  return winsock::RequestedVersionLow();
}
int TCustomAsyncSocket::ReqVerHigh() const {
  return winsock::RequestedVersionHigh();
}

void TCustomAsyncSocket::SetReqVerLow(int value) {
  if (!winsock::SetRequestedVersion(static_cast<std::uint8_t>(value),
                                    winsock::RequestedVersionHigh())) {
    ReportSystemError("SetReqVerLow: WinSock version can't be changed now");
  }
}

void TCustomAsyncSocket::SetReqVerHigh(int value) {
  if (!winsock::SetRequestedVersion(winsock::RequestedVersionLow(),
                                    static_cast<std::uint8_t>(value))) {
    ReportSystemError("SetReqVerHigh: WinSock version can't be changed now");
  }
}

void TCustomAsyncSocket::AssignDefaultValue() {
  addr_.clear();
  port_.clear();
  addrAssigned_ = portAssigned_ = false;
  addrResolved_ = portResolved_ = false;
  proto_ = "tcp";
  protoAssigned_ = true;
  protoResolved_ = true;
  protoValue_ = IPPROTO_TCP;
  localAddr_ = "0.0.0.0";
  localPort_ = "0";
  localPortResolved_ = false;
  LingerOnOff = wsLingerOn;
  LingerTimeout = 0;
  allSent_ = true;
  closeReported_ = false;
  readCount_ = 0;
}

void TCustomAsyncSocket::ChangeState(TSocketState newState) {
  TSocketState oldState = state_;
  if (oldState == newState) return;
  state_ = newState;
  if (OnChangeState) OnChangeState(this, oldState, newState);
}

// ---- errors -----------------------------------------------------------------

void TCustomAsyncSocket::ReportError(const std::string& message) {
  if (OnError) {
    OnError(this);
    return;
  }
  throw ESocketException(message);
}

void TCustomAsyncSocket::ReportSystemError(const std::string& function) {
  int code = winsock::WSAGetLastError();
  std::string message = SocketErrorMessage(code, function);
  if (code == WSAECONNRESET || code == WSAENOTCONN) {
    if (hSocket_ != kInvalidSocket) winsock::closesocket(hSocket_);
    hSocket_ = kInvalidSocket;
    if (state_ != wsClosed) TriggerSessionClosed(static_cast<std::uint16_t>(code));
    ChangeState(wsClosed);
  }
  lastError_ = code;
  ReportError(message);
}

// A system call failed on a handle that Close would not release (the state
// is still closed): release it, then report the call's error.
void TCustomAsyncSocket::CloseHandleAfterFailure(const std::string& function) {
  int code = winsock::WSAGetLastError();
  if (hSocket_ != kInvalidSocket) winsock::closesocket(hSocket_);
  hSocket_ = kInvalidSocket;
  ChangeState(wsClosed);
  winsock::WSASetLastError(code);
  ReportSystemError(function);
}

void TCustomAsyncSocket::HandleBackgroundException(const std::exception& e) {
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, e, canClose);
    } catch (...) {
    }
  }
  if (canClose) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

// ---- messages ---------------------------------------------------------------

void TCustomAsyncSocket::Dispatch(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  try {
    WndProc(msg, wParam, lParam);
  } catch (const std::exception& e) {
    HandleBackgroundException(e);
  } catch (...) {
    HandleBackgroundException(std::runtime_error("Unknown exception"));
  }
}

LRESULT TCustomAsyncSocket::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ASYNCSELECT:
      WMAsyncSelect(wParam, lParam);
      break;
    case WM_CLOSE_DELAYED:
      Close();
      break;
    case WM_WSOCKET_TEST:
      throw ESocketException("Test exception in AsyncSocket");
    default:
      break;
  }
  return 0;
}

void TCustomAsyncSocket::PostToSelf(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  MessageLoop::Instance().PostMessage(window_, msg, wParam, lParam);
}

void TCustomAsyncSocket::WMAsyncSelect(WPARAM wParam, LPARAM lParam) {
  if (static_cast<int>(wParam) != hSocket_) return;
  long event = SelectEvent(lParam);
  auto errCode = static_cast<std::uint16_t>(SelectError(lParam));
  if (event & FD_CONNECT) {
    NotifyConnected(errCode);
    if (errCode != 0 && state_ != wsClosed) Close();
  }
  if (event & FD_READ) {
    NotifyConnected(errCode);
    if (ReadsHeld()) {
      readDeferred_ = true;
    } else {
      ReceiveLoop(errCode, !ComponentOptions.wsoNoReceiveLoop, true);
    }
  }
  if (event & FD_WRITE) NotifyWrite(errCode);
  if (event & FD_ACCEPT) TriggerSessionAvailable(errCode);
  if (event & FD_CLOSE) NotifyClose(errCode);
}

void TCustomAsyncSocket::NotifyConnected(std::uint16_t errCode) {
  if (state_ == wsConnected) return;
  ChangeState(wsConnected);
  if (OnSessionConnected) OnSessionConnected(this, errCode);
}

void TCustomAsyncSocket::NotifyWrite(std::uint16_t errCode) {
  TryToSend();
  if (allSent_ && OnDataSent) OnDataSent(this, errCode);
}

void TCustomAsyncSocket::NotifyClose(std::uint16_t errCode) {
  if (state_ == wsConnecting) return;
  // What came before the close is read whole, held or not: nothing follows.
  ReceiveLoop(errCode, true, false);
  if (!closeReported_) {
    closeReported_ = true;
    TriggerSessionClosed(errCode);
  }
  if (state_ != wsClosed) Close();
}

bool TCustomAsyncSocket::TriggerDataAvailable(std::uint16_t errCode) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, errCode);
  return true;
}

void TCustomAsyncSocket::TriggerSessionClosed(std::uint16_t errCode) {
  if (OnSessionClosed) OnSessionClosed(this, errCode);
}

void TCustomAsyncSocket::TriggerSessionAvailable(std::uint16_t errCode) {
  if (OnSessionAvailable) OnSessionAvailable(this, errCode);
}

// The handler is called for as long as bytes are pending. A pass in which
// nothing was read from the network ends the loop: a handler that leaves
// the bytes alone would otherwise be called for ever. A pass whose last read
// got less than it asked for has drained the socket: the loop ends without
// asking the system again (that read re-armed the read event, so bytes that
// come later are reported as usual).
void TCustomAsyncSocket::ReceiveLoop(std::uint16_t errCode, bool loop, bool mayHold) {
  try {
    for (;;) {
      lastError_ = 0;
      int readsBefore = networkReads_;
      if (!TriggerDataAvailable(errCode)) {
        char discard[1024];
        if (DoRecv(discard, sizeof discard, 0) < 0 && lastError_ == WSAEWOULDBLOCK) {
          lastError_ = 0;
          break;
        }
      }
      if (!loop || hSocket_ == kInvalidSocket) break;
      if (lastError_ != 0) {
        if (lastError_ == -1) lastError_ = 0;
        break;
      }
      if (networkReads_ != readsBefore && lastReadShort_) break;
      unsigned long pending = 0;
      if (PendingOnNetwork(&pending) != 0) {
        lastError_ = winsock::WSAGetLastError();
        break;
      }
      if (pending == 0 || networkReads_ == readsBefore) break;
      if (mayHold && ReadsHeld()) {
        readDeferred_ = true;
        break;
      }
    }
  } catch (...) {
    ++droppedExceptions_;
  }
}

// ---- connecting and listening -------------------------------------------------

// Only TCP is built: another protocol is refused before a handle exists.
// The local port matters only to a connection that binds one.
void TCustomAsyncSocket::ResolveEndpoints(bool localPort) {
  if (!protoResolved_) {
    protoValue_ = SocketResolveProto(proto_);
    if (protoValue_ != IPPROTO_TCP) throw ESocketException("protocol " + proto_ + " not supported");
    protoResolved_ = true;
  }
  if (!portResolved_) {
    portValue_ = SocketResolvePort(port_, proto_);
    portResolved_ = true;
  }
  if (localPort && !localPortResolved_) {
    localPortValue_ = SocketResolvePort(localPort_, proto_);
    localPortResolved_ = true;
  }
  if (!addrResolved_) {
    family_ = ParseIpv6Literal(addr_, addr6Value_) ? AF_INET6 : AF_INET;
    if (family_ == AF_INET) addrValue_ = SocketResolveHost(addr_);
    addrResolved_ = true;
  }
}

void TCustomAsyncSocket::SetOption(int level, int name, int value, const std::string& function) {
  if (winsock::setsockopt(hSocket_, level, name, &value, sizeof value) != 0) {
    ReportSystemError(function);
  }
}

void TCustomAsyncSocket::ApplyLinger() {
  if (LingerOnOff == wsLingerNoSet) return;
  if (hSocket_ == kInvalidSocket) {
    ReportError("Cannot set linger option at this time");
    return;
  }
  linger value{LingerOnOff == wsLingerOn ? 1 : 0, LingerTimeout};
  if (winsock::setsockopt(hSocket_, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) {
    ReportSystemError("setsockopt(SO_LINGER)");
  }
}

void TCustomAsyncSocket::PrepareConnectedSocket() {
  SetOption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)");
  if (ComponentOptions.wsoTcpNoDelay) {
    SetOption(IPPROTO_TCP, TCP_NODELAY, 1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
  }
  ApplyLinger();
  SetOption(SOL_SOCKET, SO_KEEPALIVE, 1, "setsockopt(SO_KEEPALIVE)");
  if (localPortValue_ != 0 || localAddr_ != "0.0.0.0") {
    sockaddr_in local = InternetAddress(SocketResolveHost(localAddr_), localPortValue_);
    if (winsock::bind(hSocket_, local) != 0) {
      ReportSystemError("winsock.bind failed, error #" +
                        std::to_string(winsock::WSAGetLastError()));
      return;
    }
    if (winsock::getsockname(hSocket_, &local) != 0) {
      ReportSystemError("winsock.getsockname failed, error #" +
                        std::to_string(winsock::WSAGetLastError()));
      return;
    }
    localPort_ = std::to_string(ntohs(local.sin_port));
  }
}

void TCustomAsyncSocket::Connect() {
  if (hSocket_ != kInvalidSocket && state_ != wsClosed)
    return ReportError("Connect: Socket already in use");
  if (!portAssigned_) return ReportError("Connect: No Port Specified");
  if (!addrAssigned_) return ReportError("Connect: No IP Address Specified");
  if (!protoAssigned_) return ReportError("Connect: No Protocol Specified");
  try {
    ResolveEndpoints(true);
  } catch (const ESocketException& e) {
    return ReportError(std::string("connect: ") + e.what());
  }
  DeleteBufferedData();
  hSocket_ = winsock::socket(family_, SOCK_STREAM, protoValue_);
  if (hSocket_ == kInvalidSocket) return ReportSystemError("Connect (socket)");
  ChangeState(wsOpened);
  if (state_ != wsOpened) {
    winsock::WSASetLastError(WSAEINVAL);
    return ReportSystemError("Connect (Invalid operation in OnChangeState)");
  }
  PrepareConnectedSocket();
  if (winsock::WSAAsyncSelect(hSocket_, window_, WM_ASYNCSELECT, kConnectEvents) != 0) {
    return ReportSystemError("WSAAsyncSelect");
  }
  if (ConnectRemote() == 0 || winsock::WSAGetLastError() == WSAEWOULDBLOCK) {
    ChangeState(wsConnecting);
    return;
  }
  lastError_ = winsock::WSAGetLastError();
  ReportSystemError("Connect");
}

// A listener binds Addr itself, of either family; an IPv6 one takes only
// IPv6 connections, so that one on 127.0.0.1 may share its port.
int TCustomAsyncSocket::BindAddr() {
  if (family_ == AF_INET) return winsock::bind(hSocket_, InternetAddress(addrValue_, portValue_));
  int only = 1;
  winsock::setsockopt(hSocket_, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
  return winsock::bind(hSocket_, Internet6Address(addr6Value_, portValue_));
}

int TCustomAsyncSocket::ConnectRemote() {
  if (family_ == AF_INET6)
    return winsock::connect(hSocket_, Internet6Address(addr6Value_, portValue_));
  return winsock::connect(hSocket_, InternetAddress(addrValue_, portValue_));
}

void TCustomAsyncSocket::Listen() {
  const char* missing = !portAssigned_    ? "listen: port not assigned"
                        : !protoAssigned_ ? "listen: protocol not assigned"
                        : !addrAssigned_  ? "listen: address not assigned"
                                          : nullptr;
  if (missing) {
    winsock::WSASetLastError(WSAEINVAL);
    return ReportSystemError(missing);
  }
  try {
    ResolveEndpoints(false);
  } catch (const ESocketException& e) {
    return ReportError(std::string("listen: ") + e.what());
  }
  DeleteBufferedData();
  hSocket_ = winsock::socket(family_, SOCK_STREAM, protoValue_);
  if (hSocket_ == kInvalidSocket) return ReportSystemError("socket");
  // As servers on Linux do: connections closed a moment ago (TIME_WAIT) do
  // not keep a restart from its port; a port another socket listens on
  // stays refused (no SO_REUSEPORT).
  SetOption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)");
  if (BindAddr() != 0) {
    return CloseHandleAfterFailure("Bind");
  }
  ChangeState(wsBound);
  if (winsock::listen(hSocket_, ListenBacklog) != 0) return CloseHandleAfterFailure("Listen");
  ChangeState(wsListening);
  if (winsock::WSAAsyncSelect(hSocket_, window_, WM_ASYNCSELECT, kListenEvents) != 0) {
    ReportSystemError("WSAASyncSelect");
  }
}

int TCustomAsyncSocket::Accept() {
  if (state_ != wsListening) {
    winsock::WSASetLastError(WSAEINVAL);
    ReportSystemError("not a listening socket");
    return -1;
  }
  int handle = winsock::accept(hSocket_, nullptr);
  if (handle == kInvalidSocket) {
    ReportSystemError("Accept");
    return -1;
  }
  return handle;
}

void TCustomAsyncSocket::SelectAccept(bool enabled) {
  long events = enabled ? kListenEvents : kListenEvents & ~FD_ACCEPT;
  if (winsock::WSAAsyncSelect(hSocket_, window_, WM_ASYNCSELECT, events) != 0) {
    ReportSystemError("WSAAsyncSelect");
  }
}

void TCustomAsyncSocket::Dup(int handle) {
  if (handle == 0 || handle == kInvalidSocket) {
    winsock::WSASetLastError(WSAEINVAL);
    return ReportSystemError("Dup");
  }
  if (state_ != wsClosed) {
    if (winsock::closesocket(hSocket_) != 0) ReportSystemError("Dup (closesocket)");
    ChangeState(wsClosed);
  }
  hSocket_ = handle;
  ApplyLinger();
  if (winsock::WSAAsyncSelect(hSocket_, window_, WM_ASYNCSELECT, kDupEvents) != 0) {
    return ReportSystemError("WSAAsyncSelect");
  }
  ChangeState(wsConnected);
}

// ---- closing --------------------------------------------------------------------

void TCustomAsyncSocket::Close() {
  InternalClose(true, 0);
}

void TCustomAsyncSocket::Abort() {
  DeleteBufferedData();
  if (state_ == wsConnected && protoValue_ == IPPROTO_TCP) {
    LingerOnOff = wsLingerOff;
    ApplyLinger();
  }
  InternalClose(false, 0);
}

// closesocket never reports "would block" here: a non-blocking close with a
// linger timeout of 0 returns at once, and the system finishes the rest.
void TCustomAsyncSocket::InternalClose(bool shutdownFirst, std::uint16_t errCode) {
  if (hSocket_ == kInvalidSocket) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      AssignDefaultValue();
    }
    return;
  }
  if (state_ == wsClosed) return;
  if (shutdownFirst) winsock::shutdown(hSocket_, SHUT_WR);
  if (winsock::closesocket(hSocket_) != 0) {
    lastError_ = winsock::WSAGetLastError();
    hSocket_ = kInvalidSocket;
    if (lastError_ != WSANOTINITIALISED) return ReportSystemError("Disconnect (closesocket)");
  }
  hSocket_ = kInvalidSocket;
  ChangeState(wsClosed);
  if (!destroying_) ReleasePeerReads();
  if (!destroying_ && !closeReported_) {
    closeReported_ = true;
    TriggerSessionClosed(errCode);
  }
  try {
    AssignDefaultValue();
  } catch (...) {
  }
}

// ---- sending ------------------------------------------------------------------

int TCustomAsyncSocket::SendString(const std::string& text) {
  if (text.empty()) return 0;
  return Send(text.data(), static_cast<int>(text.size()));
}

int TCustomAsyncSocket::Send(const void* data, int length) {
  if (state_ != wsConnected && state_ != wsSocksConnected) {
    winsock::WSASetLastError(WSAENOTCONN);
    ReportSystemError("Send");
    return -1;
  }
  allSent_ = false;
  std::string_view bytes(static_cast<const char*>(data),
                         static_cast<std::size_t>(std::max(length, 0)));
  // Bytes behind others wait in the queue; with nothing queued they go to
  // the system straight from the caller's buffer, and only what it does not
  // take is copied into the queue.
  if (!sendQueue_.Empty() || hSocket_ == kInvalidSocket) {
    sendQueue_.Append(bytes);
    bytes = {};
  }
  TryToSend(bytes);
  // OnDataSent comes from the loop, never from inside Send.
  if (allSent_)
    PostToSelf(WM_ASYNCSELECT, static_cast<WPARAM>(hSocket_), MakeSelectReply(FD_WRITE, 0));
  return std::max(length, 0);
}

// Hands `direct` (bytes of the caller, when nothing is queued) or else the
// queued bytes to the system, many blocks in one gathering send. A send the
// system takes only in part stops here: the write notification resumes it.
void TCustomAsyncSocket::TryToSend(std::string_view direct) {
  if (hSocket_ == kInvalidSocket) return;
  const int flags = SendFlags == wsSendUrgent ? MSG_OOB : 0;
  for (;;) {
    constexpr int kMaxPieces = 64;
    iovec pieces[kMaxPieces];
    std::size_t pending = direct.size();
    int count = 1;
    if (direct.empty()) {
      count = sendQueue_.Gather(pieces, kMaxPieces, pending);
    } else {
      pieces[0] = iovec{const_cast<char*>(direct.data()), direct.size()};
    }
    if (pending == 0) {
      allSent_ = true;
      return;
    }
    int sent = SendToNetwork(pieces, count, flags);
    std::size_t taken = sent > 0 ? static_cast<std::size_t>(sent) : 0;
    if (direct.empty()) {
      sendQueue_.Consume(taken);
    } else {
      sendQueue_.Append(direct.substr(taken));
      direct = {};
    }
    if (sent > 0) {
      ReleasePeerReads();
      if (OnSendData) OnSendData(this, sent);
      if (taken < pending || hSocket_ == kInvalidSocket) return;
      continue;
    }
    if (sent == 0) return;
    int code = winsock::WSAGetLastError();
    if (code == WSAEWOULDBLOCK) return;
    if (code == WSAEINVAL || code == WSAENOTSOCK || code == WSAECONNABORTED ||
        code == WSAECONNRESET || code == WSAENOTCONN) {
      closeReported_ = true;
      Close();
      TriggerSessionClosed(static_cast<std::uint16_t>(code));
      return;
    }
    lastError_ = code;
    return ReportSystemError("TryToSend failed");
  }
}

// ---- flow control -----------------------------------------------------------------

void TCustomAsyncSocket::PairForFlowControl(TCustomAsyncSocket& other) {
  if (flowPeer_ == &other || &other == this) return;
  Unpair();
  other.Unpair();
  flowPeer_ = &other;
  other.flowPeer_ = this;
}

void TCustomAsyncSocket::Unpair() {
  if (flowPeer_ == nullptr) return;
  TCustomAsyncSocket& peer = *flowPeer_;
  flowPeer_ = nullptr;
  peer.flowPeer_ = nullptr;
  peer.ResumeReads();
  ResumeReads();
}

void TCustomAsyncSocket::ResumeReads() {
  if (!readDeferred_) return;
  readDeferred_ = false;
  if (hSocket_ != kInvalidSocket && !destroying_)
    PostToSelf(WM_ASYNCSELECT, static_cast<WPARAM>(hSocket_), MakeSelectReply(FD_READ, 0));
}

bool TCustomAsyncSocket::ReadsHeld() const {
  if (flowPeer_ == nullptr) return false;
  if (readDeferred_) return true;
  return flowPeer_->hSocket_ != kInvalidSocket &&
         flowPeer_->sendQueue_.Size() > flowPeer_->SendQueueBound;
}

// The peer's reads wait while this socket's queue is above its bound; once
// it has drained to half, a read event is posted to the peer, which reads
// on from there.
void TCustomAsyncSocket::ReleasePeerReads() {
  if (flowPeer_ == nullptr || !flowPeer_->readDeferred_) return;
  if (hSocket_ != kInvalidSocket && sendQueue_.Size() > SendQueueBound / 2) return;
  flowPeer_->ResumeReads();
}

void TCustomAsyncSocket::DeleteBufferedData() {
  sendQueue_.Clear();
  allSent_ = true;
  ReleasePeerReads();
}

// ---- receiving ------------------------------------------------------------------

int TCustomAsyncSocket::RcvdCount() {
  unsigned long pending = 0;
  if (PendingOnNetwork(&pending) != 0) {
    ReportSystemError("ioctlSocket");
    return -1;
  }
  return static_cast<int>(pending);
}

int TCustomAsyncSocket::DoRecv(void* buffer, int size, int) {
  return ReceiveFromNetwork(buffer, size);
}

int TCustomAsyncSocket::Receive(void* buffer, int size) {
  int count = DoRecv(buffer, size, 0);
  if (count < 0) lastError_ = winsock::WSAGetLastError();
  return count;
}

int TCustomAsyncSocket::ReceiveFromNetwork(void* buffer, int size) {
  ++networkReads_;
  int count = RecvFromNetwork(buffer, size);
  lastReadShort_ = count >= 0 && count < size;
  if (count < 0) {
    lastError_ = winsock::WSAGetLastError();
  } else {
    readCount_ += count;
  }
  return count;
}

int TCustomAsyncSocket::PendingFromNetwork() {
  unsigned long pending = 0;
  if (PendingOnNetwork(&pending) != 0) return -1;
  return static_cast<int>(pending);
}

int TCustomAsyncSocket::SendToNetwork(const iovec* pieces, int count, int flags) {
  return winsock::sendv(hSocket_, pieces, count, flags);
}

int TCustomAsyncSocket::RecvFromNetwork(void* buffer, int size) {
  return winsock::recv(hSocket_, buffer, size, 0);
}

int TCustomAsyncSocket::PendingOnNetwork(unsigned long* pending) {
  return winsock::ioctlsocketFionread(hSocket_, pending);
}

// The bytes are read straight into the string the caller gets, at most
// ReadLimit() of them, so one batch of a fast stream neither costs a second
// copy nor grows without bound.
std::string TCustomAsyncSocket::ReceiveString() {
  int count = RcvdCount();
  if (count < 0) return "";
  // One byte more than is pending, so that a read that drains the socket
  // comes back short and the receive loop need not ask again.
  count = count == 0 ? 255 : std::min(count + 1, ReadLimit());
  std::string received(static_cast<std::size_t>(count), '\0');
  int length = Receive(received.data(), count);
  if (length <= 0) return "";
  received.resize(static_cast<std::size_t>(length));
  return received;
}

int TCustomAsyncSocket::BoundPort() {
  sockaddr_storage local{};
  if (hSocket_ == kInvalidSocket || winsock::getsockname(hSocket_, &local) != 0) return 0;
  return PortOf(local);
}

std::string TCustomAsyncSocket::GetPeerAddr() {
  if (state_ != wsConnected) return "error";
  sockaddr_storage peer{};
  if (winsock::getpeername(hSocket_, &peer) != 0) {
    ReportSystemError("GetPeerAddr");
    return "error";
  }
  return PeerText(peer);
}

std::string TCustomAsyncSocket::GetPeerPort() {
  if (state_ != wsConnected) return "error";
  sockaddr_storage peer{};
  if (winsock::getpeername(hSocket_, &peer) != 0) {
    ReportSystemError("GetPeerPort");
    return "error";
  }
  return std::to_string(PortOf(peer));
}

}  // namespace qb
