// The block-list lookups through the C library's resolver, pointed by a
// private /etc/resolv.conf at a test name server on 127.0.53.1, and through
// c-ares pointed at that server directly.
#include <gtest/gtest.h>

#include "platform/AresLookups.h"
#include "platform/ResolverPool.h"
#include "screening/DnsblChecker.h"
#include "support/PrivateResolver.h"
#include "support/PumpUntil.h"
#include "support/TestDnsResponder.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using test::PumpUntil;
using test::TestDnsResponder;

constexpr const char* kNameServer = "127.0.53.1";
constexpr Ipv4Address kPop = {127, 0, 0, 9};

const test::PrivateResolverFiles kFiles = {
    .NameServer = kNameServer,
    .Options = "timeout:5 attempts:1",  // longer than a lookup's limit
    .Hosts = "127.0.0.1 localhost\n127.0.0.9 pop.test\n",
};

std::string Notices(const std::vector<std::string>& notices) {
  std::string all;
  for (const std::string& n : notices) all += n + "\n";
  return all;
}

TEST(DnsblSystemResolverTest, ANameServerThatStopsAnsweringStallsNeitherTheLoopNorOtherLookups) {
  if (!test::RunInPrivateResolver(kFiles)) return;
  TestDnsResponder dns(kNameServer);
  dns.Zone = "bl.test";
  dns.Records["2.0.0.127.bl.test"] = {127, 0, 0, 2};
  if (!dns.Start()) GTEST_SKIP() << "cannot bind " << kNameServer << ":53";

  TResolverPool pool(CurrentHostResolver());
  TDnsblChecker checker(pool);
  std::vector<std::string> notices;
  checker.OnNotice = [&](TDnsblChecker*, const std::string& text) { notices.push_back(text); };
  checker.SetZone("bl.test");
  ASSERT_TRUE(PumpUntil([&] { return checker.ZoneState() != zsChecking; }, 10s));
  ASSERT_TRUE(checker.ZoneUsable()) << Notices(notices);

  dns.Silent = true;
  std::vector<std::string> order;
  int answered = 0, listed = 0;
  for (int i = 0; i < 20; ++i) {
    checker.CheckRelays({"192.0.2." + std::to_string(i), "198.51.100." + std::to_string(i)},
                        [&](bool isListed) {
                          if (++answered == 20) order.push_back("block list");
                          listed += isListed ? 1 : 0;
                        });
  }
  TLookupResult login;
  pool.Resolve("pop.test", 2s, [&](const TLookupResult& result) {
    login = result;
    order.push_back("login");
  });
  // Other work on the loop: a timer that must keep firing meanwhile.
  int ticks = 0, ticksBeforeAnswers = -1;
  HWND window = MessageLoop::Instance().CreateWindow([&](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == WM_TIMER) ++ticks;
    return LRESULT{0};
  });
  MessageLoop::Instance().SetTimer(window, 1, 10ms);
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (answered == 0) ticksBeforeAnswers = ticks;
        return answered == 20;
      },
      30s));
  MessageLoop::Instance().DestroyWindow(window);

  EXPECT_EQ(listed, 0) << "what did not answer counts as not listed";
  EXPECT_GT(ticksBeforeAnswers, 10) << "the loop kept serving while the lookups waited";
  EXPECT_EQ(order, (std::vector<std::string>{"login", "block list"}));
  EXPECT_FALSE(login.TimedOut);
  EXPECT_EQ(login.Addresses, std::vector<Ipv4Address>{kPop});
  ASSERT_EQ(notices.size(), 1u) << Notices(notices);
  EXPECT_NE(notices[0].find("did not answer"), std::string::npos) << notices[0];
}

TEST(DnsblSystemResolverTest, TheZoneCheckRefusesAListThatAnswersEveryNameOrAnErrorCode) {
  if (!test::RunInPrivateResolver(kFiles)) return;
  struct Case {
    const char* What;
    std::optional<TestDnsResponder::Address> EveryName;
    bool Usable;
  } cases[] = {
      {"a working list", std::nullopt, true},
      {"a zone that answers every name", TestDnsResponder::Address{127, 0, 0, 2}, false},
      {"a list that answers with its error code", TestDnsResponder::Address{127, 255, 255, 254},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TestDnsResponder dns(kNameServer);
    dns.Zone = "bl.test";
    if (!c.EveryName) dns.Records["2.0.0.127.bl.test"] = {127, 0, 0, 2};
    dns.EveryName = c.EveryName;
    if (!dns.Start()) GTEST_SKIP() << "cannot bind " << kNameServer << ":53";
    TResolverPool pool(CurrentHostResolver());
    TDnsblChecker checker(pool);
    std::vector<std::string> notices;
    checker.OnNotice = [&](TDnsblChecker*, const std::string& text) { notices.push_back(text); };
    checker.SetZone("bl.test");
    ASSERT_TRUE(PumpUntil([&] { return checker.ZoneState() != zsChecking; }, 10s));
    EXPECT_EQ(checker.ZoneUsable(), c.Usable) << Notices(notices);
    EXPECT_EQ(notices.size(), c.Usable ? 0u : 1u) << Notices(notices);
    EXPECT_EQ(dns.QueriesFor("2.0.0.127.bl.test"), 1u);
    EXPECT_EQ(dns.QueriesFor("1.0.0.127.bl.test"), 1u);
  }
}

// Many lookups in flight on c-ares's one socket, far more than the pool's
// threads; answers, the cache and the zone check as on the pool; a server
// that falls silent costs one time limit and one notice.
TEST(DnsblAresTest, ManyLookupsAreInFlightAtOnceAndASilentServerTimesOut) {
  TestDnsResponder dns(kNameServer);
  dns.Zone = "bl.test";
  dns.Records["2.0.0.127.bl.test"] = {127, 0, 0, 2};
  dns.Records["7.2.0.192.bl.test"] = {127, 0, 0, 2};
  dns.Delay = 50ms;
  if (!dns.Start()) GTEST_SKIP() << "cannot bind " << kNameServer << ":53";
  TAresLookups lookups(kNameServer);
  ASSERT_EQ(lookups.Failure(), "");
  TDnsblChecker checker(lookups);
  checker.LookupLimit = 5s;
  std::vector<std::string> notices;
  checker.OnNotice = [&](TDnsblChecker*, const std::string& text) { notices.push_back(text); };
  checker.SetZone("bl.test");
  ASSERT_TRUE(PumpUntil([&] { return checker.ZoneState() != zsChecking; }, 10s));
  ASSERT_TRUE(checker.ZoneUsable()) << Notices(notices);

  constexpr int kRelays = 200;
  int answered = 0, listed = 0;
  std::size_t mostInFlight = 0;
  for (int round = 0; round < 2; ++round) {  // the second round is answered from the cache
    for (int i = 0; i < kRelays; ++i) {
      checker.CheckRelays({"192.0." + std::to_string(2 + i / 250) + "." + std::to_string(i % 250)},
                          [&](bool isListed) {
                            ++answered;
                            listed += isListed ? 1 : 0;
                          });
    }
    mostInFlight = std::max(mostInFlight, checker.LookupsInFlight());
    ASSERT_TRUE(PumpUntil([&] { return answered == kRelays * (round + 1); }, 20s));
  }
  EXPECT_GT(mostInFlight, 100u) << "not bound by a few threads";
  EXPECT_EQ(listed, 2);
  EXPECT_EQ(dns.QueriesFor("7.2.0.192.bl.test"), 1u);
  EXPECT_EQ(dns.Queries(), 2u + kRelays);

  dns.Silent = true;
  checker.LookupLimit = 300ms;
  std::optional<bool> silentListed;
  checker.CheckRelays({"198.51.100.1"}, [&](bool isListed) { silentListed = isListed; });
  ASSERT_TRUE(PumpUntil([&] { return silentListed.has_value(); }, 10s));
  EXPECT_FALSE(*silentListed);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("did not answer"), std::string::npos) << notices[0];
}

}  // namespace
}  // namespace qb
