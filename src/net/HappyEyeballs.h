// Connecting to a name with addresses of both families as RFC 8305 ("Happy
// Eyeballs") describes: the addresses are tried one after another, IPv6
// first and the families taking turns, each attempt given AttemptDelay
// (250 ms) before the next one starts beside it; the first to connect wins
// and every other attempt is closed. So a broken IPv6 route costs a quarter
// of a second, not a connect timeout. An IPv4 answer that comes before the
// IPv6 one waits ResolutionDelay (50 ms) for it.
//
// The winner is handed over as a connected, non-blocking handle (for
// TCustomAsyncSocket::Dup); the object keeps nothing of it. `done` runs from
// the loop, once; destroying the object closes what it still holds and
// calls nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/HostResolver.h"
#include "platform/MessageLoop.h"

namespace qb {

class THappyEyeballs {
 public:
  // `handle` >= 0: connected; else `failure` says why no address answered.
  using TDone = std::function<void(int handle, const std::string& failure)>;

  // `port` in host order.
  THappyEyeballs(std::uint16_t port, TDone done);
  ~THappyEyeballs();
  THappyEyeballs(const THappyEyeballs&) = delete;
  THappyEyeballs& operator=(const THappyEyeballs&) = delete;

  std::chrono::milliseconds AttemptDelay{250};
  std::chrono::milliseconds ResolutionDelay{50};
  // The whole attempt's time, counted from the first answer; 0: only the
  // system's own connect time-outs.
  std::chrono::milliseconds Limit{0};

  // A lookup's answer (perhaps empty); the attempts begin with the first
  // addresses. Once both families have answered and every attempt failed,
  // `done` gets the failure.
  void Ipv6Answer(const std::vector<Ipv6Address>& addresses);
  void Ipv4Answer(const std::vector<Ipv4Address>& addresses);

  // The attempts started so far, in order, "v6" or "v4" each (for tests).
  const std::vector<std::string>& Attempts() const { return attempts_; }

 private:
  struct TCandidate {
    bool V6 = false;
    Ipv6Address Address6{};
    Ipv4Address Address4{};
  };
  struct TAttempt {
    int Handle = -1;
  };

  LRESULT WndProc(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
  void StartNext();
  bool StartAttempt(const TCandidate& candidate);
  void Connected(int handle, int error);
  void FailIfOver();
  void Finish(int handle, const std::string& failure);
  void CloseAttempts(int except);

  HWND window_ = 0;
  std::uint16_t port_;
  TDone done_;
  std::vector<TCandidate> v6_, v4_;
  bool answered6_ = false, answered4_ = false;
  bool nextIsV6_ = true;
  bool finished_ = false;
  bool limitSet_ = false;
  std::vector<int> running_;
  std::vector<std::string> attempts_;
  int lastError_ = 0;
};

}  // namespace qb
