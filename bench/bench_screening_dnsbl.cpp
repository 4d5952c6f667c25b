// Block-list lookups of a 1,000-message scan against a local test name
// server that answers after 0, 5, 20 or 50 ms: TDnsblChecker on c-ares (many
// lookups in flight on one socket, as the program does them) against the
// same checker on a TResolverPool over the C library's resolver (a few
// threads), and against the headers tested one lookup after another
// (SerialBlockListTest.h; at 20 ms and more only on request, --serial, as
// it takes minutes). Two mailboxes: "shared", where each message has 1 to
// 3 Received relays, all public addresses (198.18/15), the first from one
// of 40 inbound relays shared by many messages (never listed), the others
// its own (every 25th of those listed); and "distinct", 2 relays of its own
// per message, 2,000 lookups that all differ. Wall seconds and the
// process's CPU seconds (getrusage) are printed with the ratios.
//
// The program runs itself again in a private mount namespace whose
// /etc/resolv.conf names the test server (needs root; otherwise it says so
// and ends).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SerialBlockListTest.h"
#include "platform/AresLookups.h"
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

bool distinctRelays = false;

std::size_t RelaysOf(std::size_t message) {
  return distinctRelays ? 2 : 1 + message % 3;
}

std::string RelayOf(std::size_t message, std::size_t relay) {
  if (relay == 0 && !distinctRelays) return "198.18." + std::to_string(message % 40) + ".1";
  std::size_t n = message * 3 + relay;
  return "198.19." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

TextLines Header(std::size_t message) {
  TextLines lines = {"+OK message follows"};
  for (std::size_t relay = 0; relay < RelaysOf(message); ++relay) {
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
  double CpuSeconds = 0;
  std::size_t Listed = 0;
  std::size_t Queries = 0;
};

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void ListEvery25th(test::TestDnsResponder& dns) {
  dns.Records[std::string("2.0.0.127.") + kZone] = {127, 0, 0, 2};
  std::size_t n = 0;
  for (std::size_t m = 0; m < kMessages; ++m) {
    for (std::size_t r = distinctRelays ? 0 : 1; r < RelaysOf(m); ++r) {
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
  Run run;
  auto start = Clock::now();
  for (const TextLines& header : headers) {
    run.Listed += bench::SerialBlockListTest(header, kZone, CurrentHostResolver()) ? 1 : 0;
  }
  run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.Queries = dns.Queries();
  return run;
}

// The checker over `lookups` (made once the test server runs).
template <typename MakeLookups>
Run Parallel(const std::vector<TextLines>& headers, std::chrono::milliseconds delay,
             MakeLookups makeLookups) {
  test::TestDnsResponder dns(kNameServer);
  if (!StartServer(dns, delay)) return {};
  Run run;
  std::size_t answered = 0;
  auto start = Clock::now();
  double cpu0 = ProcessCpuSeconds();
  {
    auto lookups = makeLookups();
    TDnsblChecker checker(*lookups);
    checker.SetZone(kZone);
    for (const TextLines& header : headers) {
      checker.CheckRelays(RelayAddressesToCheck(header), [&](bool listed) {
        ++answered;
        run.Listed += listed ? 1 : 0;
      });
    }
    test::PumpUntil([&] { return answered == headers.size(); }, 600s);
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.CpuSeconds = ProcessCpuSeconds() - cpu0;
    if (!checker.ZoneUsable()) std::printf("the zone check failed\n");
  }
  run.Queries = dns.Queries();
  return run;
}

void MeasureMailbox(bool distinct, bool serial) {
  distinctRelays = distinct;
  std::vector<TextLines> headers;
  std::size_t relays = 0;
  for (std::size_t m = 0; m < kMessages; ++m) {
    headers.push_back(Header(m));
    relays += RelaysOf(m);
  }
  std::printf("%s: %zu messages, %zu relay records\n", distinct ? "distinct" : "shared", kMessages,
              relays);
  std::printf("%-8s %10s %8s | %8s %8s %8s | %8s %8s %8s %8s | %8s %8s\n", "delay", "blocking s",
              "listed", "pool s", "cpu s", "queries", "c-ares s", "cpu s", "queries", "listed",
              "wall", "cpu");
  for (auto delay : {0ms, 5ms, 20ms, 50ms}) {
    Run before = serial || delay <= 5ms ? Blocking(headers, delay) : Run{};
    Run pool = Parallel(headers, delay,
                        [] { return std::make_unique<TResolverPool>(CurrentHostResolver()); });
    Run ares = Parallel(headers, delay, [] { return std::make_unique<TAresLookups>(); });
    std::printf("%5lld ms %10.3f %8zu | %8.3f %8.3f %8zu | %8.3f %8.3f %8zu %8zu | %7.1fx %7.1fx\n",
                static_cast<long long>(delay.count()), before.Seconds, before.Listed, pool.Seconds,
                pool.CpuSeconds, pool.Queries, ares.Seconds, ares.CpuSeconds, ares.Queries,
                ares.Listed, ares.Seconds > 0 ? pool.Seconds / ares.Seconds : 0.0,
                ares.CpuSeconds > 0 ? pool.CpuSeconds / ares.CpuSeconds : 0.0);
    std::fflush(stdout);
  }
  std::printf("(blocking 0.000: not run; ratios are pool / c-ares)\n\n");
}

int Measure(bool serial) {
  if (!test::TestDnsResponder(kNameServer).Start()) {
    std::printf("skipped: cannot bind %s:53 (needs root)\n", kNameServer);
    return 0;
  }
  MeasureMailbox(false, serial);
  MeasureMailbox(true, serial);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (test::InPrivateResolver()) return Measure(argc > 1 && std::string(argv[1]) == "--serial");
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
