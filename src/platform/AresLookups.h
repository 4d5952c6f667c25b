// Many plain A lookups in flight at once without a thread each: c-ares
// sends the queries over its own sockets (one per name server), which the
// main thread's message loop watches, and each answer comes back from the
// loop. For the block-list lookups, whose names are plain DNS names: c-ares
// reads /etc/resolv.conf (name servers and their options) but not
// nsswitch.conf or /etc/hosts, so the logins' server names stay on the
// TResolverPool over the system's resolver.
//
//   TAresLookups lookups;                      // the servers of resolv.conf
//   TAresLookups lookups("127.0.53.1:5353");   // or named ones
//   lookups.Resolve("2.0.0.127.bl.example", 2s, [](const TLookupResult& r) { ... });
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/AsyncLookups.h"
#include "platform/MessageLoop.h"

struct ares_channeldata;

namespace qb {

class TAresLookups final : public IAsyncLookups {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kParallel = 256;

  // `servers`: "address[:port]" items, comma-separated; empty for those of
  // /etc/resolv.conf.
  explicit TAresLookups(const std::string& servers = "");
  ~TAresLookups() override;  // no `done` runs after it
  TAresLookups(const TAresLookups&) = delete;
  TAresLookups& operator=(const TAresLookups&) = delete;

  // Empty when c-ares could be set up; else why not (every lookup then
  // fails at once, as for a name that does not resolve).
  const std::string& Failure() const { return failure_; }

  TLookupId Resolve(std::string name, std::chrono::milliseconds limit, TLookupDone done) override;
  void Cancel(TLookupId id) override;
  std::size_t Parallel() const override { return kParallel; }

  std::size_t Pending() const { return pending_.size(); }

 private:
  struct Lookup {
    TLookupDone Done;
    Clock::time_point Deadline;
  };
  struct Query;  // what c-ares hands back to Answered

  static void SocketState(void* self, int fd, int readable, int writable);
  static void Answered(void* query, int status, int timeouts, unsigned char* reply, int length);
  LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  void Process(int fd, const DescriptorEvents& events);
  void Finish(TLookupId id, TLookupResult result);
  void ExpireOverdue();
  void ArmTimer();

  ares_channeldata* channel_ = nullptr;
  std::string failure_;
  HWND window_ = 0;
  TLookupId nextId_ = 1;
  std::unordered_map<TLookupId, Lookup> pending_;
  std::map<std::pair<Clock::time_point, TLookupId>, bool> deadlines_;
  std::unordered_map<TLookupId, TLookupResult> finished_;  // answers for the next turn
  bool destroying_ = false;
};

}  // namespace qb
