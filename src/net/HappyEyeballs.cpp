#include "net/HappyEyeballs.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "net/SocketRuntime.h"
#include "platform/AsyncSelect.h"
#include "platform/SocketLibrary.h"
#include "platform/WinsockErrors.h"

namespace qb {

namespace {

constexpr WPARAM kAttemptTimer = 1;
constexpr WPARAM kResolutionTimer = 2;
constexpr WPARAM kLimitTimer = 3;

}  // namespace

THappyEyeballs::THappyEyeballs(std::uint16_t port, TDone done)
    : port_(port), done_(std::move(done)) {
  winsock::AddSocketObject();
  window_ = AllocateSocketWindow([this](std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
    return WndProc(msg, wParam, lParam);
  });
}

THappyEyeballs::~THappyEyeballs() {
  CloseAttempts(-1);
  ReleaseSocketWindow(window_);  // its timers and posted messages go with it
  winsock::ReleaseSocketObject();
}

void THappyEyeballs::Ipv6Answer(const std::vector<Ipv6Address>& addresses) {
  answered6_ = true;
  for (const Ipv6Address& address : addresses) v6_.push_back({true, address, {}});
  MessageLoop::Instance().KillTimer(window_, kResolutionTimer);
  if (running_.empty()) StartNext();
  FailIfOver();
}

void THappyEyeballs::Ipv4Answer(const std::vector<Ipv4Address>& addresses) {
  answered4_ = true;
  for (const Ipv4Address& address : addresses) v4_.push_back({false, {}, address});
  if (!running_.empty()) return;
  if (!answered6_ && !v4_.empty()) {
    MessageLoop::Instance().SetTimer(window_, kResolutionTimer, ResolutionDelay);
    return;
  }
  StartNext();
  FailIfOver();
}

// The next address, the families taking turns, IPv6 first; an attempt that
// fails at once makes way for the next address straight away.
void THappyEyeballs::StartNext() {
  if (!limitSet_ && Limit.count() > 0) {
    limitSet_ = true;
    MessageLoop::Instance().SetTimer(window_, kLimitTimer, Limit);
  }
  while (!finished_ && (!v6_.empty() || !v4_.empty())) {
    bool takeV6 = (nextIsV6_ && !v6_.empty()) || v4_.empty();
    std::vector<TCandidate>& list = takeV6 ? v6_ : v4_;
    TCandidate candidate = list.front();
    list.erase(list.begin());
    nextIsV6_ = !takeV6;
    if (StartAttempt(candidate)) {
      MessageLoop::Instance().SetTimer(window_, kAttemptTimer, AttemptDelay);
      return;
    }
  }
  MessageLoop::Instance().KillTimer(window_, kAttemptTimer);
}

bool THappyEyeballs::StartAttempt(const TCandidate& candidate) {
  int handle = winsock::socket(candidate.V6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle < 0) {
    lastError_ = winsock::WSAGetLastError();
    return false;
  }
  int result = winsock::WSAAsyncSelect(handle, window_, WM_ASYNCSELECT, FD_CONNECT);
  if (result == 0 && candidate.V6) {
    sockaddr_in6 remote{};
    remote.sin6_family = AF_INET6;
    remote.sin6_port = htons(port_);
    std::memcpy(&remote.sin6_addr, candidate.Address6.data(), candidate.Address6.size());
    result = winsock::connect(handle, remote);
  } else if (result == 0) {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port_);
    std::memcpy(&remote.sin_addr, candidate.Address4.data(), candidate.Address4.size());
    result = winsock::connect(handle, remote);
  }
  if (result != 0 && winsock::WSAGetLastError() != WSAEWOULDBLOCK) {
    lastError_ = winsock::WSAGetLastError();
    winsock::closesocket(handle);
    return false;
  }
  running_.push_back(handle);
  attempts_.push_back(candidate.V6 ? "v6" : "v4");
  return true;
}

LRESULT THappyEyeballs::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kLimitTimer) {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Limit).count();
    Finish(-1, "no connection within " + std::to_string(seconds) + " s");
  } else if (msg == WM_TIMER && (wParam == kAttemptTimer || wParam == kResolutionTimer)) {
    MessageLoop::Instance().KillTimer(window_, wParam);
    StartNext();
    FailIfOver();
  } else if (msg == WM_ASYNCSELECT && (SelectEvent(lParam) & FD_CONNECT)) {
    Connected(static_cast<int>(wParam), SelectError(lParam));
  }
  return 0;
}

void THappyEyeballs::Connected(int handle, int error) {
  auto found = std::find(running_.begin(), running_.end(), handle);
  if (finished_ || found == running_.end()) return;
  if (error == 0) return Finish(handle, "");
  running_.erase(found);
  winsock::closesocket(handle);
  lastError_ = error;
  StartNext();
  FailIfOver();
}

void THappyEyeballs::FailIfOver() {
  if (finished_ || !answered6_ || !answered4_ || !running_.empty()) return;
  if (!v6_.empty() || !v4_.empty()) return;
  Finish(-1, lastError_ == 0 ? "its name has no address" : WSocketErrorDesc(lastError_));
}

// `done` may free this object: it is called last.
void THappyEyeballs::Finish(int handle, const std::string& failure) {
  finished_ = true;
  MessageLoop::Instance().KillTimer(window_, kAttemptTimer);
  MessageLoop::Instance().KillTimer(window_, kResolutionTimer);
  MessageLoop::Instance().KillTimer(window_, kLimitTimer);
  CloseAttempts(handle);
  if (handle >= 0) winsock::WSAAsyncSelect(handle, window_, WM_ASYNCSELECT, 0);
  TDone done = std::move(done_);
  if (done) done(handle, failure);
}

void THappyEyeballs::CloseAttempts(int except) {
  for (int handle : running_) {
    if (handle != except) winsock::closesocket(handle);
  }
  running_.clear();
}

}  // namespace qb
