#include "screening/DnsBlockList.h"

#include <gtest/gtest.h>

#include "screening/FakeHostResolver.h"

namespace qb {
namespace {

const TextLines kZone = {"bl.example.org"};
const Ipv4Address kListed = {127, 0, 0, 2};

class DnsBlockListTestCase : public ::testing::Test {
 protected:
  FakeHostResolver resolver;
  bool Test(const TextLines& header, const TextLines& zone = kZone) {
    return DnsBlockListTest(header, zone, resolver);
  }
};

TEST(RelayAddressTest, TakesTheBracketedAddressInTheParenthesis) {
  EXPECT_EQ(RelayAddress("Received: from mx.example.com (mx.example.com [192.0.2.5]) by me"),
            "192.0.2.5");
  EXPECT_EQ(RelayAddress("Received: from mx (192.0.2.9) by me"), "192.0.2.9");
  EXPECT_EQ(RelayAddress("Received: from mx (helo.example [192.0.2.5) by me"), "")
      << "no closing bracket leaves nothing";
  EXPECT_EQ(RelayAddress("Received: from mx (helo.example) by me"), "");
  EXPECT_EQ(RelayAddress("Received: from mx [192.0.2.5]"), "") << "no parenthesis, no address";
  EXPECT_EQ(RelayAddress("Received: by relay (8.8.8.8)"), "8.8.8.8") << "no from";
  EXPECT_EQ(RelayAddress(""), "");
}

TEST(RelayRecordsTest, JoinsContinuationLinesThatBeginWithABlank) {
  TextLines header = {
      "RECEIVED: FROM a",  " (a [192.0.2.1])", "",          " (x)", "received: from b",
      "\t(b [192.0.2.2])", "Received:from c",  "Subject: x"};
  EXPECT_EQ(RelayRecords(header),
            (TextLines{"RECEIVED: FROM a (a [192.0.2.1])", "received: from b"}));
}

TEST_F(DnsBlockListTestCase, LooksUpTheReversedAddressInTheZone) {
  resolver.Answers["5.2.0.192.bl.example.org"] = {kListed};
  EXPECT_TRUE(Test({"+OK", "Received: from mx (mx [192.0.2.5]) by us", "Subject: hi"}));
  EXPECT_EQ(resolver.Queries, (std::vector<std::string>{"5.2.0.192.bl.example.org"}));
}

TEST_F(DnsBlockListTestCase, RecognisesCapitalsAndContinuationLines) {
  resolver.Answers["1.2.0.192.bl.example.org"] = {kListed};
  EXPECT_TRUE(Test({"RECEIVED: FROM MX", " (MX [192.0.2.1])"}));
}

TEST_F(DnsBlockListTestCase, ATabContinuationIsNotJoined) {
  resolver.Answers["1.2.0.192.bl.example.org"] = {kListed};
  EXPECT_FALSE(Test({"Received: from mx", "\t(mx [192.0.2.1])"}));
  EXPECT_TRUE(resolver.Queries.empty());
}

TEST_F(DnsBlockListTestCase, TriesRecordsTopmostFirstAndStopsAtTheFirstListed) {
  resolver.Answers["2.2.0.192.bl.example.org"] = {kListed};
  resolver.Answers["3.2.0.192.bl.example.org"] = {kListed};
  TextLines header = {"Received: from a (a [192.0.2.1])", "Received: from b (b)",
                      "Received: from c (c [192.0.2.2])", "Received: from d (d [192.0.2.3])"};
  EXPECT_TRUE(Test(header));
  EXPECT_EQ(resolver.Queries,
            (std::vector<std::string>{"1.2.0.192.bl.example.org", "2.2.0.192.bl.example.org"}));
}

TEST_F(DnsBlockListTestCase, AnEmptyListMakesNoLookup) {
  EXPECT_FALSE(Test({"Received: from a (a [192.0.2.1])"}, {}));
  EXPECT_FALSE(Test({"Received: from a (a [192.0.2.1])"}, {""}));
  EXPECT_TRUE(resolver.Queries.empty());
}

TEST_F(DnsBlockListTestCase, OnlyTheFirstLineNamesTheZone) {
  EXPECT_FALSE(IsListedAddress("192.0.2.1", {"one.example", "two.example"}, resolver));
  EXPECT_EQ(resolver.Queries, (std::vector<std::string>{"1.2.0.192.one.example"}));
}

TEST_F(DnsBlockListTestCase, AShortAddressGivesAMalformedName) {
  EXPECT_FALSE(IsListedAddress("192.0.2", kZone, resolver));
  EXPECT_EQ(resolver.Queries, (std::vector<std::string>{".2.0.192.bl.example.org"}));
}

TEST_F(DnsBlockListTestCase, OnlyBlockListAnswersCountAsListed) {
  const std::string name = "1.2.0.192.bl.example.org";
  auto listedWith = [&](std::vector<Ipv4Address> answers) {
    resolver.Answers[name] = std::move(answers);
    return IsListedAddress("192.0.2.1", kZone, resolver);
  };
  EXPECT_TRUE(listedWith({{127, 0, 0, 2}}));
  EXPECT_TRUE(listedWith({{127, 0, 0, 10}}));
  EXPECT_TRUE(listedWith({{127, 255, 254, 1}}));
  EXPECT_FALSE(listedWith({})) << "the name does not resolve";
  EXPECT_FALSE(listedWith({{127, 255, 255, 252}})) << "query through a public resolver";
  EXPECT_FALSE(listedWith({{127, 255, 255, 254}})) << "typing error";
  EXPECT_FALSE(listedWith({{127, 255, 255, 255}})) << "too many queries";
  EXPECT_FALSE(listedWith({{203, 0, 113, 7}})) << "a resolver that answers every name";
  EXPECT_TRUE(listedWith({{203, 0, 113, 7}, {127, 0, 0, 4}}));
}

TEST(PublicRelayAddressTest, AddressesNoPublicListCanHoldAreNotLookedUp) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"198.51.100.7", true},     {"8.8.8.8", true},      {"172.15.0.1", true},
      {"172.32.0.1", true},       {"100.63.255.1", true}, {"100.128.0.1", true},
      {"223.255.255.255", true},  {"10.1.2.3", false},    {"172.16.0.1", false},
      {"172.31.255.255", false},  {"192.168.1.1", false}, {"127.0.0.1", false},
      {"169.254.9.9", false},     {"100.64.0.1", false},  {"100.127.255.255", false},
      {"0.1.2.3", false},         {"224.0.0.1", false},   {"240.1.1.1", false},
      {"255.255.255.255", false}, {"1.2.3", false},       {"1.2.3.4.5", false},
      {"1.2.3.256", false},       {"1.2.3.x", false},     {"", false}};
  for (const auto& [address, isPublic] : cases) {
    EXPECT_EQ(IsPublicRelayAddress(address), isPublic) << address;
  }
}

TEST_F(DnsBlockListTestCase, PrivateRelaysAreSkippedAndTheListedOneIsNamed) {
  resolver.Answers["7.100.51.198.bl.example.org"] = {kListed};
  TextLines header = {"Received: from lan (lan [192.168.0.2]) by mx",
                      "Received: from mx (mx [198.51.100.7]) by me"};
  EXPECT_EQ(ListedRelayAddress(header, kZone, resolver), "198.51.100.7");
  EXPECT_EQ(resolver.Queries, (std::vector<std::string>{"7.100.51.198.bl.example.org"}));
}

}  // namespace
}  // namespace qb
