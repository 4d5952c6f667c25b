#include "screening/DnsblChecker.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "screening/DnsBlockList.h"

namespace qb {

namespace {

constexpr std::uint32_t WM_CHECK_READY = WM_USER + 41;
constexpr std::size_t kFirstPrune = 4096;

// The test entries every block list publishes.
constexpr const char* kListedTest = "2.0.0.127.";
constexpr const char* kUnlistedTest = "1.0.0.127.";

bool AnyOf(const TLookupResult& result, bool (*test)(const Ipv4Address&)) {
  return std::any_of(result.Addresses.begin(), result.Addresses.end(), test);
}

std::string LookupsOff(const std::string& zone, const std::string& why,
                       const std::string& whatToDo) {
  return "The DNS block list " + zone + " " + why +
         "; block-list lookups are off until dnsbl.txt changes or the program starts again. " +
         whatToDo;
}

}  // namespace

TDnsblChecker::TDnsblChecker(IAsyncLookups& lookups)
    : MaxInFlight(lookups.Parallel()), lookups_(lookups) {
  window_ =
      MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
        return WndProc(msg, wParam, lParam);
      });
}

TDnsblChecker::~TDnsblChecker() {
  for (TLookupId id : zoneTests_) lookups_.Cancel(id);
  for (TLookupId id : inFlight_) lookups_.Cancel(id);
  MessageLoop::Instance().DestroyWindow(window_);
}

// ---- the zone ----------------------------------------------------------------

void TDnsblChecker::SetZone(std::string zone) {
  if (zone == zone_ && (zoneState_ == zsUsable || zoneState_ == zsChecking)) return;
  for (TLookupId& id : zoneTests_) lookups_.Cancel(std::exchange(id, 0));
  zone_ = std::move(zone);
  timeOutTold_ = false;
  quietUntil_ = {};
  if (zone_.empty()) return ZoneCheckEnded(zsNone, "");
  StartZoneCheck();
}

void TDnsblChecker::StartZoneCheck() {
  zoneState_ = zsChecking;
  zoneAnswersMissing_ = 2;
  const std::string names[2] = {kListedTest + zone_, kUnlistedTest + zone_};
  for (int i = 0; i < 2; ++i) {
    zoneTests_[i] = lookups_.Resolve(names[i], LookupLimit, [this, i](const TLookupResult& result) {
      zoneTests_[i] = 0;
      zoneAnswers_[i] = result;
      if (--zoneAnswersMissing_ == 0) ZoneTestAnswered();
    });
  }
}

void TDnsblChecker::ZoneTestAnswered() {
  const TLookupResult& listed = zoneAnswers_[0];
  const TLookupResult& unlisted = zoneAnswers_[1];
  if (listed.TimedOut || unlisted.TimedOut) {
    return ZoneCheckEnded(zsFailed, LookupsOff(zone_, "did not answer",
                                               "Check the network connection and the name "
                                               "server in use."));
  }
  if (AnyOf(listed, IsErrorCodeAnswer) || AnyOf(unlisted, IsErrorCodeAnswer)) {
    return ZoneCheckEnded(
        zsFailed, LookupsOff(zone_, "refuses the queries of the name server in use",
                             "Such lists refuse queries that come through public name servers: "
                             "use your provider's name server or one of your own, or another "
                             "list in dnsbl.txt."));
  }
  if (!unlisted.Addresses.empty()) {
    return ZoneCheckEnded(
        zsFailed, LookupsOff(zone_,
                             "answers every query (or the name server in use answers "
                             "every name)",
                             "Check the zone in dnsbl.txt, and use a name server that does not "
                             "answer unknown names."));
  }
  if (!AnyOf(listed, IsListedAnswer)) {
    return ZoneCheckEnded(zsFailed,
                          LookupsOff(zone_, "does not list its test address 127.0.0.2",
                                     "Check that dnsbl.txt names a working DNS block list."));
  }
  ZoneCheckEnded(zsUsable, "");
}

void TDnsblChecker::ZoneCheckEnded(TZoneState state, const std::string& notice) {
  zoneState_ = state;
  if (!notice.empty()) Notify(notice);
  std::vector<TCheckId> waiting = std::move(waitingForZone_);
  waitingForZone_.clear();
  for (TCheckId id : waiting) StartCheck(id);
  StartLookups();
}

// ---- checks --------------------------------------------------------------------

TCheckId TDnsblChecker::CheckRelays(const std::vector<std::string>& addresses,
                                    std::function<void(bool listed)> done) {
  TCheckId id = nextCheck_++;
  Check& check = checks_[id];
  check.Done = std::move(done);
  for (const std::string& address : addresses) {
    if (!address.empty()) check.Names.push_back(address);
  }
  if (zoneState_ == zsChecking) {
    waitingForZone_.push_back(id);
  } else {
    StartCheck(id);
    StartLookups();
  }
  return id;
}

void TDnsblChecker::Cancel(TCheckId id) {
  checks_.erase(id);
  std::erase(waitingForZone_, id);
}

// Answers what the cache knows and joins or queues the lookups for the rest.
void TDnsblChecker::StartCheck(TCheckId id) {
  Check& check = checks_.at(id);
  if (zoneState_ != zsUsable) return MarkReady(id, check);
  ZoneCache& cache = caches_[zone_];
  Clock::time_point now = Now();
  for (std::string& address : check.Names) {
    address = BlockListQueryName(address, zone_);
    Entry& entry = cache[address];
    if (entry.Known && entry.Expires > now) {
      if (entry.Listed) check.Listed = true;
      continue;
    }
    ++check.Unanswered;
    if (!entry.Pending) {
      entry.Known = false;
      entry.Pending = true;
      queue_.push_back({zone_, address});
    }
    entry.Waiters.push_back(id);
  }
  if (check.Listed || check.Unanswered == 0) MarkReady(id, check);
  Prune(cache);
}

void TDnsblChecker::Answer(TCheckId id, bool listed) {
  auto found = checks_.find(id);
  if (found == checks_.end() || found->second.Ready) return;
  Check& check = found->second;
  if (listed) check.Listed = true;
  if (check.Unanswered > 0) --check.Unanswered;
  if (check.Listed || check.Unanswered == 0) MarkReady(id, check);
}

// `done` runs from a posted message, so that it never runs inside
// CheckRelays or inside the loop that settles a lookup's waiters.
void TDnsblChecker::MarkReady(TCheckId id, Check& check) {
  check.Ready = true;
  MessageLoop::Instance().PostMessage(window_, WM_CHECK_READY, id);
}

LRESULT TDnsblChecker::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM) {
  if (msg != WM_CHECK_READY) return 0;
  auto found = checks_.find(wParam);
  if (found == checks_.end()) return 0;
  std::function<void(bool)> done = std::move(found->second.Done);
  bool listed = found->second.Listed;
  checks_.erase(found);
  if (done) done(listed);
  return 0;
}

// ---- lookups -------------------------------------------------------------------

bool TDnsblChecker::HasWaiters(const Entry& entry) const {
  return std::any_of(entry.Waiters.begin(), entry.Waiters.end(), [this](TCheckId id) {
    auto found = checks_.find(id);
    return found != checks_.end() && !found->second.Ready;
  });
}

void TDnsblChecker::StartLookups() {
  while (!queue_.empty() && inFlight_.size() < MaxInFlight) {
    QueuedLookup lookup = std::move(queue_.front());
    queue_.pop_front();
    ZoneCache& cache = caches_[lookup.Zone];
    auto entry = cache.find(lookup.Name);
    if (entry == cache.end()) continue;
    if (!HasWaiters(entry->second)) {
      cache.erase(entry);  // every check that asked was cancelled or already answered
      continue;
    }
    if (Now() < quietUntil_) {
      Settle(lookup, loFailed);
      continue;
    }
    // The id is known only once Resolve returns; the result never comes
    // before that, since it is delivered from the loop.
    auto id = std::make_shared<TLookupId>(0);
    *id = lookups_.Resolve(lookup.Name, LookupLimit, [this, lookup, id](const TLookupResult& r) {
      LookupDone(lookup, *id, r);
    });
    inFlight_.insert(*id);
  }
}

void TDnsblChecker::LookupDone(const QueuedLookup& lookup, TLookupId lookupId,
                               const TLookupResult& result) {
  inFlight_.erase(lookupId);
  TLookupOutcome outcome = result.TimedOut                    ? loTimedOut
                           : AnyOf(result, IsErrorCodeAnswer) ? loFailed
                           : AnyOf(result, IsListedAnswer)    ? loListed
                                                              : loNotListed;
  if (outcome == loTimedOut) {
    quietUntil_ = Now() + QuietAfterTimeOut;
    if (!timeOutTold_) {
      timeOutTold_ = true;
      Notify("The DNS block list " + lookup.Zone +
             " did not answer; its lookups count as not listed.");
    }
  }
  Settle(lookup, outcome);
  StartLookups();
}

// Caches the outcome and answers every check that waits for it.
void TDnsblChecker::Settle(const QueuedLookup& lookup, TLookupOutcome outcome) {
  ZoneCache& cache = caches_[lookup.Zone];
  auto found = cache.find(lookup.Name);
  if (found == cache.end()) return;
  Entry& entry = found->second;
  bool answered = outcome == loListed || outcome == loNotListed;
  entry.Known = true;
  entry.Pending = false;
  entry.Listed = outcome == loListed;
  entry.Expires = Now() + (answered ? AnswerLifetime : FailureLifetime);
  std::vector<TCheckId> waiters = std::move(entry.Waiters);
  entry.Waiters.clear();
  for (TCheckId id : waiters) Answer(id, entry.Listed);
}

// Drops expired answers once the cache has grown, so a long-running program
// keeps only what is still worth knowing.
void TDnsblChecker::Prune(ZoneCache& cache) {
  std::size_t& limit = pruneAt_[zone_];
  if (limit == 0) limit = kFirstPrune;
  if (cache.size() < limit) return;
  Clock::time_point now = Now();
  std::erase_if(
      cache, [now](const auto& item) { return item.second.Known && item.second.Expires <= now; });
  limit = std::max(kFirstPrune, cache.size() * 2);
}

void TDnsblChecker::Notify(const std::string& text) {
  if (OnNotice) OnNotice(this, text);
}

}  // namespace qb
