#include "screening/DnsBlockList.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

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

TEST(RelayAddressesTest, TakeEachRecordsPublicAddressInHeaderOrder) {
  struct Case {
    TextLines Header;
    std::vector<std::string> Addresses;
  } cases[] = {
      {{"+OK", "Received: from mx (mx [192.0.2.5]) by us", "Subject: hi"}, {"192.0.2.5"}},
      {{"RECEIVED: FROM MX", " (MX [192.0.2.1])"}, {"192.0.2.1"}},
      {{"Received: from mx", "\t(mx [192.0.2.1])"}, {}},  // a tab continuation is not joined
      {{"Received: from a (a [192.0.2.1])", "Received: from b (b)",
        "Received: from c (c [192.0.2.2])", "Received: from d (d [192.0.2.3])"},
       {"192.0.2.1", "192.0.2.2", "192.0.2.3"}},
      {{"Subject: no relays"}, {}},
      {{"Received: from lan (lan [192.168.0.2]) by mx",
        "Received: from mx (mx [198.51.100.7]) by me"},
       {"198.51.100.7"}},  // a private relay is not looked up
  };
  for (const Case& c : cases)
    EXPECT_EQ(RelayAddressesToCheck(c.Header), c.Addresses) << c.Header.back();
}

TEST(BlockListQueryNameTest, ReversesTheAddressBeforeTheZone) {
  EXPECT_EQ(BlockListQueryName("192.0.2.5", "bl.example.org"), "5.2.0.192.bl.example.org");
  EXPECT_EQ(BlockListQueryName("192.0.2", "bl.example.org"), ".2.0.192.bl.example.org")
      << "a short address gives a malformed name, which resolves to nothing";
}

TEST(BlockListAnswerTest, OnlyBlockListAnswersCountAsListed) {
  struct Case {
    Ipv4Address Answer;
    bool Listed;
    bool ErrorCode;
  } cases[] = {
      {{127, 0, 0, 2}, true, false},       {{127, 0, 0, 10}, true, false},
      {{127, 255, 254, 1}, true, false},   {{127, 255, 255, 252}, false, true},
      {{127, 255, 255, 254}, false, true}, {{127, 255, 255, 255}, false, true},
      {{203, 0, 113, 7}, false, false},  // a resolver that answers every name
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsListedAnswer(c.Answer), c.Listed) << int(c.Answer[0]) << "." << int(c.Answer[3]);
    EXPECT_EQ(IsErrorCodeAnswer(c.Answer), c.ErrorCode) << int(c.Answer[3]);
  }
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

}  // namespace
}  // namespace qb
