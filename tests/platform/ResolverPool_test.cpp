#include "platform/ResolverPool.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "support/GatedResolver.h"
#include "support/PumpUntil.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using test::GatedResolver;
using test::PumpUntil;

constexpr Ipv4Address kPop = {127, 0, 0, 9};

// Every lookup's result by name, and whether each came on the main thread.
struct Results {
  std::map<std::string, TLookupResult> ByName;
  bool AllOnMainThread = true;

  TLookupDone For(const std::string& name) {
    return [this, name](const TLookupResult& result) {
      AllOnMainThread = AllOnMainThread && MessageLoop::Instance().IsMainThread();
      ByName[name] = result;
    };
  }
};

class ResolverPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windows = MessageLoop::Instance().WindowCount();
    timers = MessageLoop::Instance().TimerCount();
  }
  void TearDown() override {
    EXPECT_EQ(MessageLoop::Instance().WindowCount(), windows);
    EXPECT_EQ(MessageLoop::Instance().TimerCount(), timers);
  }

  GatedResolver resolver;
  Results results;
  std::size_t windows = 0, timers = 0;
};

TEST_F(ResolverPoolTest, AnswersComeFromTheLoopOnTheMainThreadNeverInsideResolve) {
  resolver.Answer("pop.test", {kPop});
  TResolverPool pool(resolver, 2);
  struct Case {
    std::string Name;
    std::vector<Ipv4Address> Expected;
  } cases[] = {{"pop.test", {kPop}}, {"nowhere.test", {}}};
  for (const Case& c : cases) pool.Resolve(c.Name, 5s, results.For(c.Name));
  EXPECT_TRUE(results.ByName.empty()) << "no callback inside Resolve";
  ASSERT_TRUE(PumpUntil([&] { return results.ByName.size() == 2; }, 10s));
  for (const Case& c : cases) {
    EXPECT_FALSE(results.ByName[c.Name].TimedOut) << c.Name;
    EXPECT_EQ(results.ByName[c.Name].Addresses, c.Expected) << c.Name;
  }
  EXPECT_TRUE(results.AllOnMainThread);
  EXPECT_EQ(pool.Pending(), 0u);
}

// Both workers wait in a resolver that does not answer: their lookups time
// out, and the lookups asked for later still get their answers, because a
// held worker is replaced.
TEST_F(ResolverPoolTest, LookupsHeldInTheResolverTimeOutAndTheOthersAreStillAnswered) {
  resolver.Hold("silent1.test");
  resolver.Hold("silent2.test");
  resolver.Answer("pop.test", {kPop});
  TResolverPool pool(resolver, 2);
  pool.Resolve("silent1.test", 50ms, results.For("silent1.test"));
  pool.Resolve("silent2.test", 50ms, results.For("silent2.test"));
  ASSERT_TRUE(PumpUntil([&] { return resolver.Running() == 2; }, 10s));
  for (int i = 0; i < 5; ++i) {
    std::string name = "later" + std::to_string(i);
    pool.Resolve(i == 0 ? "pop.test" : name, 30s, results.For(i == 0 ? "pop.test" : name));
  }
  ASSERT_TRUE(PumpUntil([&] { return results.ByName.size() == 7; }, 20s))
      << "a worker held in the resolver must not keep the other lookups waiting";
  EXPECT_TRUE(results.ByName["silent1.test"].TimedOut);
  EXPECT_TRUE(results.ByName["silent2.test"].TimedOut);
  EXPECT_FALSE(results.ByName["pop.test"].TimedOut);
  EXPECT_EQ(results.ByName["pop.test"].Addresses, std::vector<Ipv4Address>{kPop});
  EXPECT_EQ(resolver.Running(), 2u) << "the silent lookups are still inside the resolver";
  EXPECT_LE(pool.Workers(), 2 * TResolverPool::kMaxThreadsFactor);
}

TEST_F(ResolverPoolTest, AQueuedLookupTimesOutOnItsOwnLimitBehindHeldWorkers) {
  resolver.HoldAll(true);
  TResolverPool pool(resolver, 1);
  for (int i = 0; i < 20; ++i) {
    std::string name = "name" + std::to_string(i);
    pool.Resolve(name, 20ms, results.For(name));
  }
  ASSERT_TRUE(PumpUntil([&] { return results.ByName.size() == 20; }, 20s));
  for (const auto& [name, result] : results.ByName) EXPECT_TRUE(result.TimedOut) << name;
  EXPECT_LE(pool.Workers(), TResolverPool::kMaxThreadsFactor) << "held workers are bounded";
  resolver.HoldAll(false);
}

TEST_F(ResolverPoolTest, ACancelledLookupNeverCallsBackWhetherQueuedOrInTheResolver) {
  resolver.HoldAll(true);
  TResolverPool pool(resolver, 1);
  // As many lookups as the pool may have workers, all inside the resolver.
  std::vector<TLookupId> held;
  for (std::size_t i = 0; i < TResolverPool::kMaxThreadsFactor; ++i) {
    std::string name = "held" + std::to_string(i);
    held.push_back(pool.Resolve(name, 30s, results.For(name)));
  }
  TLookupId queued = pool.Resolve("queued.test", 30s, results.For("queued.test"));
  ASSERT_TRUE(PumpUntil([&] { return resolver.Running() == held.size(); }, 10s));
  pool.Cancel(held[0]);
  pool.Cancel(queued);
  pool.Cancel(queued);  // twice is harmless
  resolver.HoldAll(false);
  ASSERT_TRUE(PumpUntil([&] { return pool.Pending() == 0; }, 10s));
  ASSERT_TRUE(PumpUntil([&] { return resolver.Running() == 0; }, 10s));
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(results.ByName.size(), held.size() - 1);
  EXPECT_EQ(results.ByName.count("held0"), 0u);
  EXPECT_EQ(resolver.Calls("queued.test"), 0u) << "a cancelled lookup is not made";
}

TEST_F(ResolverPoolTest, DestroyingThePoolDoesNotWaitForAResolverThatNeverAnswers) {
  resolver.HoldAll(true);
  {
    TResolverPool pool(resolver, 2);
    pool.Resolve("silent.test", 30s, results.For("silent.test"));
    ASSERT_TRUE(PumpUntil([&] { return resolver.Running() == 1; }, 10s));
  }  // returns with the worker still inside the resolver
  EXPECT_EQ(resolver.Running(), 1u);
  resolver.HoldAll(false);
  ASSERT_TRUE(PumpUntil([&] { return resolver.Running() == 0; }, 10s));
  MessageLoop::Instance().ProcessMessages();
  EXPECT_TRUE(results.ByName.empty()) << "no callback after the pool is gone";
}

}  // namespace
}  // namespace qb
