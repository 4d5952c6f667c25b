// Name lookups off the main thread: a small pool of worker threads calls the
// synchronous IHostResolver, and each result comes back to the main thread
// as a posted message, where its callback runs from the message loop.
//
//   TResolverPool pool(CurrentHostResolver());
//   pool.Resolve("pop.example.org", 2s, [](const TLookupResult& r) { ... });
//
// Rules:
// - Resolve, Cancel and the destructor belong to the main thread; `done`
//   runs there too, from the loop, never inside Resolve.
// - Each lookup has a time limit counted from its request. When it passes,
//   `done` gets TimedOut, whether the lookup was still queued or a worker is
//   still waiting in the resolver.
// - `threads` workers wait for lookups. When all of them are busy (perhaps
//   inside a resolver that never answers), a new lookup starts one more, up
//   to kMaxThreadsFactor times `threads`; those leave again when idle. So
//   block-list lookups held by a silent name server do not keep a login's
//   lookup waiting.
// - The destructor stops the idle workers and waits for busy ones at most
//   kShutdownGrace; a worker still inside the resolver then finishes on its
//   own and only touches state it shares with the pool, never the pool. The
//   resolver must outlive such a worker (the system resolver does).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/AsyncLookups.h"
#include "platform/HostResolver.h"
#include "platform/MessageLoop.h"

namespace qb {

class TResolverPool final : public IAsyncLookups {
 public:
  static constexpr std::size_t kMaxThreadsFactor = 4;
  static constexpr std::chrono::milliseconds kShutdownGrace{250};

  explicit TResolverPool(IHostResolver& resolver, std::size_t threads = 8);
  ~TResolverPool() override;
  TResolverPool(const TResolverPool&) = delete;
  TResolverPool& operator=(const TResolverPool&) = delete;

  // An IPv4 lookup (A records).
  TLookupId Resolve(std::string name, std::chrono::milliseconds limit, TLookupDone done) override;
  // A lookup of the given family: lfIPv6 fills the result's Addresses6.
  TLookupId Resolve(std::string name, std::chrono::milliseconds limit, TLookupDone done,
                    TLookupFamily family);
  // `done` of that lookup will not run; an unknown or finished id is ignored.
  void Cancel(TLookupId id) override;
  // Lookups worth having in flight at once beside the logins' (each holds
  // a worker while it waits): kParallel.
  static constexpr std::size_t kParallel = 8;
  std::size_t Parallel() const override { return kParallel; }

  std::size_t Pending() const { return pending_.size(); }
  // Workers alive now, those held past a limit included.
  std::size_t Workers() const;

  struct Shared;  // the state workers share with the pool

 private:
  LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  void Finish(TLookupId id, const TLookupResult& result);
  void TimeOut(TLookupId id);

  std::shared_ptr<Shared> shared_;
  HWND window_ = 0;
  TLookupId nextId_ = 1;
  std::unordered_map<TLookupId, TLookupDone> pending_;
};

}  // namespace qb
