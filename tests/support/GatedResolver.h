// A thread-safe IHostResolver for lookups on worker threads: it answers from
// a table, and a held name (or every name) waits inside the resolver until
// released, as a name server that does not answer. It counts the calls per
// name and the most calls running at once. Its destructor releases every
// waiting call and waits until each has left, so it must outlive no one.
//
//   GatedResolver resolver;
//   resolver.Answer("pop.test", {{127, 0, 0, 9}});
//   resolver.Answer6("pop.test", {Ipv6Address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}});
//   resolver.Hold("silent.test");
//   TResolverPool pool(resolver, 2);
#pragma once

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/HostResolver.h"

namespace qb::test {

class GatedResolver : public IHostResolver {
 public:
  ~GatedResolver() override {
    std::unique_lock lock(mutex_);
    holdAll_ = false;
    held_.clear();
    changed_.notify_all();
    changed_.wait(lock, [this] { return running_ == 0; });
  }

  std::vector<Ipv4Address> ResolveIPv4(const std::string& name) override {
    std::unique_lock lock(mutex_);
    ++calls_[name];
    maxRunning_ = std::max(maxRunning_, ++running_);
    changed_.wait(lock, [&] { return !holdAll_ && held_.count(name) == 0; });
    --running_;
    changed_.notify_all();
    auto found = answers_.find(name);
    return found == answers_.end() ? std::vector<Ipv4Address>() : found->second;
  }

  // IPv6 answers come at once, never held and not counted.
  std::vector<Ipv6Address> ResolveIPv6(const std::string& name) override {
    std::lock_guard lock(mutex_);
    auto found = answers6_.find(name);
    return found == answers6_.end() ? std::vector<Ipv6Address>() : found->second;
  }
  void Answer6(const std::string& name, std::vector<Ipv6Address> addresses) {
    std::lock_guard lock(mutex_);
    answers6_[name] = std::move(addresses);
  }

  void Answer(const std::string& name, std::vector<Ipv4Address> addresses) {
    std::lock_guard lock(mutex_);
    answers_[name] = std::move(addresses);
  }
  void Hold(const std::string& name) {
    std::lock_guard lock(mutex_);
    held_.insert(name);
  }
  void Release(const std::string& name) {
    std::lock_guard lock(mutex_);
    held_.erase(name);
    changed_.notify_all();
  }
  void HoldAll(bool hold) {
    std::lock_guard lock(mutex_);
    holdAll_ = hold;
    if (!hold) held_.clear();
    changed_.notify_all();
  }
  std::size_t Calls(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = calls_.find(name);
    return found == calls_.end() ? 0 : found->second;
  }
  std::size_t Calls() const {
    std::lock_guard lock(mutex_);
    std::size_t total = 0;
    for (const auto& [name, count] : calls_) total += count;
    return total;
  }
  std::size_t Running() const {
    std::lock_guard lock(mutex_);
    return running_;
  }
  std::size_t MaxRunning() const {
    std::lock_guard lock(mutex_);
    return maxRunning_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::vector<Ipv4Address>> answers_;
  std::map<std::string, std::vector<Ipv6Address>> answers6_;
  std::set<std::string> held_;
  bool holdAll_ = false;
  std::map<std::string, std::size_t> calls_;
  std::size_t running_ = 0;
  std::size_t maxRunning_ = 0;
};

}  // namespace qb::test
