// Block-list lookups of a 1,000-message scan through the C library's
// resolver, against a local test name server that answers after 0, 5, 20 or
// 50 ms: TDnsblChecker (parallel, cached, on a TResolverPool) against the
// same headers tested one lookup after another with the blocking
// DnsBlockListTest. Each message has 1 to 3 Received relays: the first from
// one of 40 inbound relays shared by many messages (never listed), the
// others its own (every 25th of those listed).
//
// The program runs itself again in a private mount namespace whose
// /etc/resolv.conf names the test server (needs root; otherwise it says so
// and ends).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ResolverPool.h"
#include "screening/DnsBlockList.h"
#include "screening/DnsblChecker.h"
#include "support/PrivateResolver.h"
#include "support/PumpUntil.h"
#include "support/TestDnsResponder.h"

namespace {

using namespace qb;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMessages = 1000;
constexpr const char* kZone = "bl.bench";
constexpr const char* kNameServer = "127.0.53.2";

std::string RelayOf(std::size_t message, std::size_t relay) {
  if (relay == 0) return "10.0." + std::to_string(message % 40) + ".1";
  std::size_t n = message * 3 + relay;
  return "172.16." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

TextLines Header(std::size_t message) {
  TextLines lines = {"+OK message follows"};
  for (std::size_t relay = 0; relay < 1 + message % 3; ++relay) {
    std::string address = RelayOf(message, relay);
    lines.push_back("Received: from relay" + std::to_string(relay) +
                    ".example.net (relay.example.net [" + address + "])");
    lines.push_back("        by mx.example.org with ESMTP; Tue, 10 Jun 2003 09:41:05 +0200");
  }
  lines.push_back("Subject: message " + std::to_string(message));
  return lines;
}

struct Run {
  double Seconds = 0;
  std::size_t Listed = 0;
  std::size_t Queries = 0;
};

void ListEvery25th(test::TestDnsResponder& dns) {
  dns.Records[std::string("2.0.0.127.") + kZone] = {127, 0, 0, 2};
  std::size_t n = 0;
  for (std::size_t m = 0; m < kMessages; ++m) {
    for (std::size_t r = 1; r < 1 + m % 3; ++r) {
      if (++n % 25 == 0) dns.Records[BlockListQueryName(RelayOf(m, r), kZone)] = {127, 0, 0, 2};
    }
  }
}

bool StartServer(test::TestDnsResponder& dns, std::chrono::milliseconds delay) {
  dns.Zone = kZone;
  dns.Delay = delay;
  ListEvery25th(dns);
  return dns.Start();
}

Run Blocking(const std::vector<TextLines>& headers, std::chrono::milliseconds delay) {
  test::TestDnsResponder dns(kNameServer);
  if (!StartServer(dns, delay)) return {};
  TextLines dnsbl = {kZone};
  Run run;
  auto start = Clock::now();
  for (const TextLines& header : headers) {
    run.Listed += DnsBlockListTest(header, dnsbl, CurrentHostResolver()) ? 1 : 0;
  }
  run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.Queries = dns.Queries();
  return run;
}

Run Parallel(const std::vector<TextLines>& headers, std::chrono::milliseconds delay) {
  test::TestDnsResponder dns(kNameServer);
  if (!StartServer(dns, delay)) return {};
  Run run;
  std::size_t answered = 0;
  auto start = Clock::now();
  {
    TResolverPool pool(CurrentHostResolver());
    TDnsblChecker checker(pool);
    checker.SetZone(kZone);
    for (const TextLines& header : headers) {
      std::vector<std::string> addresses;
      for (const std::string& record : RelayRecords(header))
        addresses.push_back(RelayAddress(record));
      checker.CheckRelays(std::move(addresses), [&](bool listed) {
        ++answered;
        run.Listed += listed ? 1 : 0;
      });
    }
    test::PumpUntil([&] { return answered == headers.size(); }, 600s);
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!checker.ZoneUsable()) std::printf("the zone check failed\n");
  }
  run.Queries = dns.Queries();
  return run;
}

int Measure() {
  std::vector<TextLines> headers;
  std::size_t relays = 0;
  for (std::size_t m = 0; m < kMessages; ++m) {
    headers.push_back(Header(m));
    relays += 1 + m % 3;
  }
  if (!test::TestDnsResponder(kNameServer).Start()) {
    std::printf("skipped: cannot bind %s:53 (needs root)\n", kNameServer);
    return 0;
  }
  std::printf("%zu messages, %zu relay records\n\n", kMessages, relays);
  std::printf("%-8s %12s %8s %8s %12s %8s %8s %8s\n", "delay", "blocking s", "queries", "listed",
              "checker s", "queries", "listed", "ratio");
  for (auto delay : {0ms, 5ms, 20ms, 50ms}) {
    Run before = Blocking(headers, delay);
    Run after = Parallel(headers, delay);
    std::printf("%5lld ms %12.3f %8zu %8zu %12.3f %8zu %8zu %7.1fx\n",
                static_cast<long long>(delay.count()), before.Seconds, before.Queries,
                before.Listed, after.Seconds, after.Queries, after.Listed,
                after.Seconds > 0 ? before.Seconds / after.Seconds : 0.0);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (test::InPrivateResolver()) return Measure();
  std::vector<std::string> self = {std::filesystem::read_symlink("/proc/self/exe").string()};
  for (int i = 1; i < argc; ++i) self.emplace_back(argv[i]);
  test::ProcessResult result =
      test::RunWithPrivateResolver({.NameServer = kNameServer}, self, std::chrono::minutes(20));
  std::fputs(result.Output.c_str(), stdout);
  std::fputs(result.Errors.c_str(), stderr);
  if (result.ExitCode != 0 && result.Output.empty()) {
    std::printf("skipped: no private mount namespace here (needs root)\n");
    return 0;
  }
  return result.ExitCode;
}
