#include "screening/DnsblChecker.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/ResolverPool.h"
#include "screening/DnsBlockList.h"
#include "support/GatedResolver.h"
#include "support/PumpUntil.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using test::GatedResolver;
using test::PumpUntil;

constexpr Ipv4Address kListed = {127, 0, 0, 2};
constexpr Ipv4Address kErrorCode = {127, 255, 255, 254};
constexpr const char* kZone = "bl.test";

std::string QueryName(const std::string& address) {
  return BlockListQueryName(address, kZone);
}

// A checker on a pool on a gated resolver, with a clock the test moves.
struct Rig {
  Rig() {
    checker.OnNotice = [this](TDnsblChecker*, const std::string& text) { notices.push_back(text); };
    checker.Now = [this] { return now; };
  }
  // A zone that passes its check.
  void WorkingZone() {
    resolver.Answer(std::string("2.0.0.127.") + kZone, {kListed});
    SetZone();
  }
  void SetZone() {
    checker.SetZone(kZone);
    EXPECT_TRUE(PumpUntil([&] { return checker.ZoneState() != zsChecking; }, 10s));
  }
  TCheckId Start(std::vector<std::string> addresses) {
    TCheckId id = checker.CheckRelays(std::move(addresses),
                                      [this, id = next++](bool listed) { answers[id] = listed; });
    return id;
  }
  std::optional<bool> Check(std::vector<std::string> addresses) {
    std::size_t id = next;
    Start(std::move(addresses));
    if (!PumpUntil([&] { return answers.count(id) == 1; }, 10s)) return std::nullopt;
    return answers[id];
  }

  GatedResolver resolver;
  TResolverPool pool{resolver, 16};
  TDnsblChecker checker{pool};
  std::vector<std::string> notices;
  TDnsblChecker::Clock::time_point now = TDnsblChecker::Clock::now();
  std::size_t next = 0;
  std::map<std::size_t, bool> answers;
};

TEST(DnsblCheckerTest, TheZoneIsUsedOnlyWhenItsTestEntriesAnswerAsABlockListDoes) {
  struct Case {
    const char* What;
    std::vector<Ipv4Address> Listed;    // the answer for 2.0.0.127.<zone>
    std::vector<Ipv4Address> Unlisted;  // the answer for 1.0.0.127.<zone>
    bool Silent;
    const char* Notice;  // empty: the zone is usable
  } cases[] = {
      {"a working list", {kListed}, {}, false, ""},
      {"a list that answers everything", {kListed}, {kListed}, false, "answers every query"},
      {"a resolver that answers every name",
       {{10, 1, 2, 3}},
       {{10, 1, 2, 3}},
       false,
       "answers every query"},
      {"a list that refuses the resolver",
       {kErrorCode},
       {kErrorCode},
       false,
       "refuses the queries of the name server in use"},
      {"a name that is no list", {}, {}, false, "does not list its test address"},
      {"a list that does not answer", {kListed}, {}, true, "did not answer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Rig rig;
    rig.checker.LookupLimit = 50ms;
    rig.resolver.Answer("2.0.0.127.bl.test", c.Listed);
    rig.resolver.Answer("1.0.0.127.bl.test", c.Unlisted);
    rig.resolver.Answer(QueryName("192.0.2.1"), {kListed});
    if (c.Silent) rig.resolver.Hold("2.0.0.127.bl.test");
    rig.SetZone();
    bool usable = std::string(c.Notice).empty();
    EXPECT_EQ(rig.checker.ZoneUsable(), usable);
    EXPECT_EQ(rig.Check({"192.0.2.1"}), usable) << "a failed zone lists nothing";
    EXPECT_EQ(rig.resolver.Calls(QueryName("192.0.2.1")), usable ? 1u : 0u);
    ASSERT_EQ(rig.notices.size(), usable ? 0u : 1u) << "told once";
    if (!usable) {
      EXPECT_NE(rig.notices[0].find(c.Notice), std::string::npos) << rig.notices[0];
    }
    rig.resolver.HoldAll(false);
  }
}

TEST(DnsblCheckerTest, ChecksAskedDuringTheZoneCheckWaitForIt) {
  Rig rig;
  rig.resolver.Answer("2.0.0.127.bl.test", {kListed});
  rig.resolver.Answer(QueryName("192.0.2.1"), {kListed});
  rig.resolver.Hold("2.0.0.127.bl.test");
  rig.checker.SetZone(kZone);
  rig.Start({"192.0.2.1"});
  rig.Start({"192.0.2.2"});
  ASSERT_TRUE(PumpUntil([&] { return rig.resolver.Calls() == 2; }, 10s));
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(rig.resolver.Calls(), 2u) << "only the test entries before the zone is trusted";
  rig.resolver.Release("2.0.0.127.bl.test");
  ASSERT_TRUE(PumpUntil([&] { return rig.answers.size() == 2; }, 10s));
  EXPECT_TRUE(rig.answers[0]);
  EXPECT_FALSE(rig.answers[1]);
}

TEST(DnsblCheckerTest, ARelayAddressInAHundredMessagesIsLookedUpOnce) {
  Rig rig;
  rig.WorkingZone();
  for (int i = 0; i < 100; ++i) {
    std::string own = "203.0.113." + std::to_string(i);
    if (i % 10 == 0) rig.resolver.Answer(QueryName(own), {kListed});
    rig.Start({"198.51.100.7", own});
  }
  ASSERT_TRUE(PumpUntil([&] { return rig.answers.size() == 100; }, 20s));
  int listed = 0;
  for (const auto& [id, answer] : rig.answers) listed += answer ? 1 : 0;
  EXPECT_EQ(listed, 10);
  EXPECT_EQ(rig.resolver.Calls(QueryName("198.51.100.7")), 1u);
  EXPECT_EQ(rig.resolver.Calls(), 2u + 1u + 100u);
  rig.Check({"198.51.100.7"});
  EXPECT_EQ(rig.resolver.Calls(QueryName("198.51.100.7")), 1u) << "answered from the cache";
}

TEST(DnsblCheckerTest, AtMostEightLookupsRunAtOnceForTheWholeScan) {
  Rig rig;
  rig.WorkingZone();
  rig.resolver.HoldAll(true);
  for (int i = 0; i < 50; ++i) rig.Start({"203.0.113." + std::to_string(i), "192.0.2.1"});
  ASSERT_TRUE(PumpUntil([&] { return rig.resolver.Running() == 8; }, 10s));
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(rig.resolver.Running(), 8u);
  EXPECT_EQ(rig.checker.LookupsInFlight(), 8u);
  rig.resolver.HoldAll(false);
  ASSERT_TRUE(PumpUntil([&] { return rig.answers.size() == 50; }, 20s));
  EXPECT_LE(rig.resolver.MaxRunning(), 8u);
  EXPECT_EQ(rig.resolver.Calls(), 2u + 51u);
}

TEST(DnsblCheckerTest, AnswersAreKeptTenMinutesAndFailuresOneMinute) {
  struct Case {
    const char* What;
    std::vector<Ipv4Address> Answer;
    bool Silent;
    std::chrono::seconds Later;
    std::size_t Lookups;  // after asking again `Later`
  } cases[] = {
      {"not listed, 9 minutes on", {}, false, 540s, 1},
      {"not listed, 11 minutes on", {}, false, 660s, 2},
      {"listed, 9 minutes on", {kListed}, false, 540s, 1},
      {"listed, 11 minutes on", {kListed}, false, 660s, 2},
      {"an error code, 59 s on", {kErrorCode}, false, 59s, 1},
      {"an error code, 61 s on", {kErrorCode}, false, 61s, 2},
      {"timed out, 59 s on", {}, true, 59s, 1},
      {"timed out, 61 s on", {}, true, 61s, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Rig rig;
    rig.checker.LookupLimit = 50ms;
    rig.WorkingZone();
    std::string name = QueryName("192.0.2.9");
    rig.resolver.Answer(name, c.Answer);
    if (c.Silent) rig.resolver.Hold(name);
    bool listed = c.Answer == std::vector<Ipv4Address>{kListed};
    EXPECT_EQ(rig.Check({"192.0.2.9"}), listed);
    rig.resolver.Release(name);
    rig.now += c.Later;
    EXPECT_EQ(rig.Check({"192.0.2.9"}), listed);
    EXPECT_EQ(rig.resolver.Calls(name), c.Lookups);
    rig.resolver.HoldAll(false);
  }
}

TEST(DnsblCheckerTest, ATimedOutLookupCountsAsNotListedAndTheListIsLeftAloneForAMinute) {
  Rig rig;
  rig.checker.LookupLimit = 50ms;
  rig.WorkingZone();
  rig.resolver.Hold(QueryName("192.0.2.1"));
  rig.resolver.Answer(QueryName("192.0.2.2"), {kListed});
  EXPECT_EQ(rig.Check({"192.0.2.1"}), false);
  ASSERT_EQ(rig.notices.size(), 1u);
  EXPECT_NE(rig.notices[0].find("did not answer"), std::string::npos) << rig.notices[0];
  EXPECT_EQ(rig.Check({"192.0.2.2"}), false) << "no lookups while the list does not answer";
  EXPECT_EQ(rig.resolver.Calls(QueryName("192.0.2.2")), 0u);
  rig.now += 61s;
  EXPECT_EQ(rig.Check({"192.0.2.2"}), true);
  rig.resolver.Release(QueryName("192.0.2.1"));
  rig.resolver.Hold(QueryName("192.0.2.3"));
  EXPECT_EQ(rig.Check({"192.0.2.3"}), false);
  EXPECT_EQ(rig.notices.size(), 1u) << "told once";
  rig.resolver.HoldAll(false);
}

TEST(DnsblCheckerTest, AnswersComeFromTheLoopAndACancelledCheckGetsNone) {
  Rig rig;
  rig.WorkingZone();
  rig.Check({"192.0.2.1"});
  rig.Start({"192.0.2.1"});  // known: still answered later, from the loop
  EXPECT_EQ(rig.answers.size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return rig.answers.size() == 2; }, 10s));

  rig.checker.MaxInFlight = 1;
  rig.resolver.HoldAll(true);
  TCheckId cancelled = rig.Start({"192.0.2.10", "192.0.2.11", "192.0.2.12"});
  ASSERT_TRUE(PumpUntil([&] { return rig.resolver.Running() == 1; }, 10s));
  rig.checker.Cancel(cancelled);
  rig.resolver.HoldAll(false);
  ASSERT_TRUE(PumpUntil([&] { return rig.checker.LookupsInFlight() == 0; }, 10s));
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(rig.answers.size(), 2u);
  EXPECT_EQ(rig.resolver.Calls(QueryName("192.0.2.11")), 0u) << "nobody waits for it";
}

TEST(DnsblCheckerTest, WithoutAZoneNothingIsListedAndNothingLookedUp) {
  Rig rig;
  rig.checker.SetZone("");
  EXPECT_EQ(rig.Check({"192.0.2.1"}), false);
  EXPECT_EQ(rig.Check({}), false);
  EXPECT_EQ(rig.resolver.Calls(), 0u);
  EXPECT_TRUE(rig.notices.empty());
}

}  // namespace
}  // namespace qb
