// A small DNS server for tests and benchmarks: UDP on a 127.x address, port
// 53 (binding it needs root; Start returns false when it cannot bind, and the
// test should skip). It answers A queries for names in one zone, after a
// configured delay, and NXDOMAIN for every other name; in the silent mode it
// never answers. Point the C library's resolver at it with
// PrivateResolver.h.
//
//   TestDnsResponder dns("127.0.53.1");
//   dns.Zone = "bl.test";
//   dns.Records["2.0.0.127.bl.test"] = {127, 0, 0, 2};
//   dns.Delay = 20ms;
//   if (!dns.Start()) GTEST_SKIP() << "cannot bind 127.0.53.1:53";
//   ... dns.QueriesFor("2.0.0.127.bl.test") ...
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qb::test {

class TestDnsResponder {
 public:
  using Address = std::array<std::uint8_t, 4>;

  explicit TestDnsResponder(std::string address = "127.0.53.1");
  ~TestDnsResponder();  // stops its thread
  TestDnsResponder(const TestDnsResponder&) = delete;
  TestDnsResponder& operator=(const TestDnsResponder&) = delete;

  // Set before Start. Names are compared without regard to ASCII case.
  std::string Zone;                        // names under it are answered
  std::map<std::string, Address> Records;  // whole names with their A record
  std::optional<Address> EveryName;        // the answer for every other name in the zone
  std::chrono::milliseconds Delay{0};      // before each answer
  std::atomic<bool> Silent{false};         // never answers (may change at any time)

  bool Start();
  const std::string& ListenAddress() const { return address_; }

  std::size_t Queries() const;
  std::size_t QueriesFor(const std::string& name) const;

 private:
  void Serve();
  std::string Reply(const std::string& query);
  std::optional<Address> Lookup(const std::string& name) const;

  std::string address_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::map<std::string, std::size_t> queries_;
};

}  // namespace qb::test
