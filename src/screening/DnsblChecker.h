// The DNS block-list lookups of a scan, asynchronous: the relay addresses of
// one message are looked up in parallel (IAsyncLookups: c-ares in the
// program, a TResolverPool over a test's resolver in tests), and the answer
// "listed or not" comes back on the main thread, from the message loop
// (never inside CheckRelays).
//
//   TDnsblChecker checker(pool);
//   checker.OnNotice = [](TDnsblChecker*, const std::string& text) { status = text; };
//   checker.SetZone(dnsblList.front());
//   checker.CheckRelays({"192.0.2.7", "198.51.100.3"}, [](bool listed) { ... });
//
// - At most MaxInFlight lookups run at once, whatever the number of checks
//   (by default as many as the lookups take well at once).
// - Answers are cached per zone for the life of the checker: AnswerLifetime
//   for an answer (the system resolver gives no TTL), FailureLifetime for a
//   time-out or an error-code answer; an address asked for while its lookup
//   runs waits for that lookup, so a relay seen in many messages is looked
//   up once.
// - A lookup that times out counts as not listed; the first one after a
//   zone check raises a notice, and for QuietAfterTimeOut no lookup is made
//   (the addresses count as not listed), so a list that has stopped
//   answering costs one time limit, not one per address.
// - The zone is checked before it is used: 2.0.0.127.<zone> must be listed,
//   1.0.0.127.<zone> must not resolve, and neither may answer with the
//   list's error codes. Until the check ends, checks wait for it; a zone
//   that fails is not used (checks answer "not listed" without lookups) and
//   a notice says why, once per check.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/AsyncLookups.h"
#include "platform/MessageLoop.h"

namespace qb {

using TCheckId = std::uint64_t;

enum TZoneState : std::uint8_t {
  zsNone,      // no zone: nothing is listed
  zsChecking,  // the test entries are being looked up
  zsUsable,
  zsFailed  // not used until the zone is set again
};

class TDnsblChecker {
 public:
  using Clock = std::chrono::steady_clock;
  using TNoticeEvent = std::function<void(TDnsblChecker* sender, const std::string& text)>;

  explicit TDnsblChecker(IAsyncLookups& lookups);
  ~TDnsblChecker();  // cancels its lookups; no `done` runs after it
  TDnsblChecker(const TDnsblChecker&) = delete;
  TDnsblChecker& operator=(const TDnsblChecker&) = delete;

  // Settings.
  std::size_t MaxInFlight;
  std::chrono::milliseconds LookupLimit{2000};
  std::chrono::seconds AnswerLifetime{600};
  std::chrono::seconds FailureLifetime{60};
  std::chrono::seconds QuietAfterTimeOut{60};
  std::function<Clock::time_point()> Now = [] { return Clock::now(); };

  // A text for the status bar: the zone failed its check, or did not answer.
  TNoticeEvent OnNotice;

  // Sets the zone (the first line of dnsbl.txt) and checks it. Setting the
  // zone in use again re-checks it only when its last check failed.
  void SetZone(std::string zone);
  const std::string& Zone() const { return zone_; }
  TZoneState ZoneState() const { return zoneState_; }
  bool ZoneUsable() const { return zoneState_ == zsUsable; }

  // Whether one of the dotted IPv4 relay addresses is listed; `done` runs
  // later on the main thread.
  TCheckId CheckRelays(const std::vector<std::string>& addresses,
                       std::function<void(bool listed)> done);
  // `done` of that check will not run.
  void Cancel(TCheckId id);

  std::size_t LookupsInFlight() const { return inFlight_.size(); }

 private:
  struct Check {
    std::vector<std::string> Names;  // the query names
    std::size_t Unanswered = 0;
    bool Listed = false;
    bool Ready = false;
    std::function<void(bool)> Done;
  };
  struct Entry {
    bool Known = false;
    bool Listed = false;
    bool Pending = false;  // queued or being looked up
    Clock::time_point Expires;
    std::vector<TCheckId> Waiters;
  };
  using ZoneCache = std::unordered_map<std::string, Entry>;
  struct QueuedLookup {
    std::string Zone;
    std::string Name;
  };
  enum TLookupOutcome { loNotListed, loListed, loFailed, loTimedOut };

  LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  void StartZoneCheck();
  void ZoneTestAnswered();
  void ZoneCheckEnded(TZoneState state, const std::string& notice);
  void StartCheck(TCheckId id);
  void Answer(TCheckId id, bool listed);
  void MarkReady(TCheckId id, Check& check);
  void StartLookups();
  void LookupDone(const QueuedLookup& lookup, TLookupId lookupId, const TLookupResult& result);
  void Settle(const QueuedLookup& lookup, TLookupOutcome outcome);
  bool HasWaiters(const Entry& entry) const;
  void Prune(ZoneCache& cache);
  void Notify(const std::string& text);

  IAsyncLookups& lookups_;
  HWND window_ = 0;
  std::string zone_;
  TZoneState zoneState_ = zsNone;
  TLookupId zoneTests_[2] = {0, 0};
  TLookupResult zoneAnswers_[2];
  int zoneAnswersMissing_ = 0;
  bool timeOutTold_ = false;
  Clock::time_point quietUntil_{};

  TCheckId nextCheck_ = 1;
  std::map<TCheckId, Check> checks_;
  std::vector<TCheckId> waitingForZone_;
  std::map<std::string, ZoneCache> caches_;
  std::map<std::string, std::size_t> pruneAt_;
  std::deque<QueuedLookup> queue_;
  std::unordered_set<TLookupId> inFlight_;
};

}  // namespace qb
