#include "platform/AresLookups.h"

#include <ares.h>
#include <arpa/inet.h>
#include <arpa/nameser.h>

#include <algorithm>
#include <cstring>

namespace qb {

namespace {

constexpr std::uint32_t WM_LOOKUPS_DONE = WM_USER + 43;
constexpr WPARAM kTimer = 1;
constexpr int kMaxAddresses = 16;

std::vector<Ipv4Address> AddressesOf(const unsigned char* reply, int length) {
  ares_addrttl found[kMaxAddresses];
  int count = kMaxAddresses;
  if (ares_parse_a_reply(reply, length, nullptr, found, &count) != ARES_SUCCESS) return {};
  std::vector<Ipv4Address> addresses;
  for (int i = 0; i < count; ++i) {
    Ipv4Address address{};
    std::memcpy(address.data(), &found[i].ipaddr, address.size());
    addresses.push_back(address);
  }
  return addresses;
}

}  // namespace

struct TAresLookups::Query {
  TAresLookups* Owner;
  TLookupId Id;
};

TAresLookups::TAresLookups(const std::string& servers) {
  window_ =
      MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
        return WndProc(msg, wParam, lParam);
      });
  ares_options options{};
  options.sock_state_cb = &TAresLookups::SocketState;
  options.sock_state_cb_data = this;
  options.flags = ARES_FLAG_NOSEARCH;
  int status = ares_library_init(ARES_LIB_INIT_ALL);
  if (status == ARES_SUCCESS) {
    status = ares_init_options(&channel_, &options, ARES_OPT_SOCK_STATE_CB | ARES_OPT_FLAGS);
  }
  if (status == ARES_SUCCESS && !servers.empty()) {
    status = ares_set_servers_ports_csv(channel_, servers.c_str());
  }
  if (status != ARES_SUCCESS) {
    failure_ = std::string("c-ares: ") + ares_strerror(status);
    if (channel_ != nullptr) ares_destroy(std::exchange(channel_, nullptr));
  }
}

TAresLookups::~TAresLookups() {
  destroying_ = true;
  pending_.clear();
  // Every query still open is answered ARES_EDESTRUCTION here and dropped;
  // c-ares closes its sockets, which takes them out of the loop.
  if (channel_ != nullptr) {
    ares_destroy(channel_);
    ares_library_cleanup();
  }
  MessageLoop::Instance().DestroyWindow(window_);
}

TLookupId TAresLookups::Resolve(std::string name, std::chrono::milliseconds limit,
                                TLookupDone done) {
  TLookupId id = nextId_++;
  Clock::time_point deadline = Clock::now() + limit;
  pending_[id] = {std::move(done), deadline};
  deadlines_.emplace(std::make_pair(deadline, id), true);
  if (channel_ == nullptr) {
    Finish(id, {});
  } else {
    ares_query(channel_, name.c_str(), ns_c_in, ns_t_a, &TAresLookups::Answered,
               new Query{this, id});
  }
  ArmTimer();
  return id;
}

void TAresLookups::Cancel(TLookupId id) {
  auto found = pending_.find(id);
  if (found == pending_.end()) return;
  deadlines_.erase({found->second.Deadline, id});
  pending_.erase(found);
  finished_.erase(id);
}

// c-ares says which sockets it wants read (always, while open) and written.
void TAresLookups::SocketState(void* self, int fd, int readable, int writable) {
  auto* lookups = static_cast<TAresLookups*>(self);
  MessageLoop& loop = MessageLoop::Instance();
  if (!readable && !writable) {
    if (loop.IsWatched(fd)) loop.Unwatch(fd);
    return;
  }
  if (loop.IsWatched(fd)) return loop.Modify(fd, readable != 0, writable != 0);
  loop.Watch(fd, readable != 0, writable != 0,
             [lookups, fd](DescriptorEvents events) { lookups->Process(fd, events); });
}

void TAresLookups::Process(int fd, const DescriptorEvents& events) {
  bool failed = events.Error || events.HangUp;
  ares_process_fd(channel_, events.Readable || failed ? fd : ARES_SOCKET_BAD,
                  events.Writable || failed ? fd : ARES_SOCKET_BAD);
  ArmTimer();
}

// Each answer is taken here and handed on from a posted message, since
// c-ares may answer inside ares_query itself.
void TAresLookups::Answered(void* query, int status, int, unsigned char* reply, int length) {
  Query* asked = static_cast<Query*>(query);
  TAresLookups* self = asked->Owner;
  TLookupId id = asked->Id;
  delete asked;
  if (self->destroying_ || !self->pending_.contains(id)) return;
  TLookupResult result;
  result.TimedOut = status == ARES_ETIMEOUT;
  if (status == ARES_SUCCESS) result.Addresses = AddressesOf(reply, length);
  self->Finish(id, std::move(result));
}

void TAresLookups::Finish(TLookupId id, TLookupResult result) {
  bool first = finished_.empty();
  finished_[id] = std::move(result);
  if (first) MessageLoop::Instance().PostMessage(window_, WM_LOOKUPS_DONE);
}

LRESULT TAresLookups::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM) {
  if (msg == WM_TIMER && wParam == kTimer) {
    MessageLoop::Instance().KillTimer(window_, kTimer);
    if (channel_ != nullptr) ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    ExpireOverdue();
    ArmTimer();
  }
  if (msg != WM_LOOKUPS_DONE) return 0;
  std::unordered_map<TLookupId, TLookupResult> finished = std::move(finished_);
  finished_.clear();
  for (auto& [id, result] : finished) {
    auto found = pending_.find(id);
    if (found == pending_.end()) continue;  // cancelled meanwhile
    TLookupDone done = std::move(found->second.Done);
    deadlines_.erase({found->second.Deadline, id});
    pending_.erase(found);
    if (done) done(result);
  }
  ArmTimer();
  return 0;
}

// A lookup past its limit is answered TimedOut, whatever c-ares still tries.
void TAresLookups::ExpireOverdue() {
  Clock::time_point now = Clock::now();
  while (!deadlines_.empty() && deadlines_.begin()->first.first <= now) {
    TLookupId id = deadlines_.begin()->first.second;
    deadlines_.erase(deadlines_.begin());
    if (pending_.contains(id) && !finished_.contains(id))
      Finish(id, {.TimedOut = true, .Addresses = {}, .Addresses6 = {}});
  }
}

// One timer for whichever comes first: c-ares's own next retry or time-out,
// or the earliest limit of a lookup.
void TAresLookups::ArmTimer() {
  MessageLoop& loop = MessageLoop::Instance();
  if (pending_.empty() || destroying_) return loop.KillTimer(window_, kTimer);
  auto wait = std::chrono::milliseconds::max();
  if (!deadlines_.empty()) {
    wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadlines_.begin()->first.first -
                                                                 Clock::now()) +
           std::chrono::milliseconds(1);
  }
  timeval next{};
  if (channel_ != nullptr && ares_timeout(channel_, nullptr, &next) != nullptr) {
    auto ares = std::chrono::milliseconds(next.tv_sec * 1000 + next.tv_usec / 1000 + 1);
    wait = std::min(wait, ares);
  }
  loop.SetTimer(window_, kTimer, std::max(wait, std::chrono::milliseconds(1)));
}

}  // namespace qb
