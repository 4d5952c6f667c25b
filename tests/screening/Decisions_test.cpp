#include "screening/Decisions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

using enum TDecision;

// Lines that say nothing known (a word of their own, a UID with a blank or
// a control character, no UID) are passed over; the rest round-trips.
TEST(Decisions, TheFileKeepsWhatItKnowsAndPassesOverTheRest) {
  TDecisions read = ParseDecisions(
      "remove A1\r\nkeep B2\r\nreview C3\r\nmaybe D4\r\nremove\r\nkeep E 5\r\nremove F\x01"
      "6\r\n\r\nREMOVE G7\r\n");
  EXPECT_EQ(read, (TDecisions{{"A1", dRemove}, {"B2", dKeep}, {"C3", dReview}}));
  EXPECT_EQ(ParseDecisions(FormatDecisions(read)), read);
  EXPECT_EQ(FormatDecisions(read), "remove A1\r\nkeep B2\r\nreview C3\r\n");
}

TEST(Decisions, AMissingFileIsEmptyAndOneThatCannotBeReadIsNone) {
  test::TempFolder folder;
  std::string path = DecisionsFile(folder.Path().string() + "/", "alice_example_org");
  EXPECT_EQ(path, folder.File("alice_example_org.decisions"));
  EXPECT_EQ(ReadDecisions(path), TDecisions{});
  ASSERT_TRUE(WriteDecisions(path, {{"A1", dKeep}}));
  EXPECT_EQ(ReadDecisions(path), (TDecisions{{"A1", dKeep}}));
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_EQ(ReadDecisions(path), std::nullopt);
  EXPECT_FALSE(WriteDecisions(path, {{"A1", dKeep}}));
}

// Against one session's UIDL listing: decisions by message number, UIDs
// gone from the server dropped, and a UID listed twice never used.
TEST(Decisions, DecisionsMatchTheMailboxByUidAndAUidListedTwiceMatchesNothing) {
  struct Case {
    const char* Name;
    TDecisions Before;
    TextLines Uidl;
    std::set<std::int64_t> Remove, Keep, Review;
    bool Dropped;
    TDecisions After;
    bool Complete = true;
  } cases[] = {
      {"each kind",
       {{"A", dRemove}, {"B", dKeep}, {"C", dReview}},
       {"+OK", "1 A", "2 B", "3 C", "4 D", "."},
       {1},
       {2},
       {3},
       false,
       {{"A", dRemove}, {"B", dKeep}, {"C", dReview}}},
      {"gaps and another order",
       {{"A", dRemove}, {"C", dKeep}},
       {"+OK", "7 C", "2 A", "."},
       {2},
       {7},
       {},
       false,
       {{"A", dRemove}, {"C", dKeep}}},
      {"gone from the server",
       {{"A", dRemove}, {"GONE", dKeep}, {"ALSO", dReview}},
       {"+OK", "1 A", "."},
       {1},
       {},
       {},
       true,
       {{"A", dRemove}}},
      {"a UID listed twice",
       {{"SAME", dRemove}, {"B", dRemove}},
       {"+OK", "1 SAME", "2 B", "3 SAME", "."},
       {2},
       {},
       {},
       false,
       {{"SAME", dRemove}, {"B", dRemove}}},
      {"an empty listing", {{"A", dRemove}}, {"+OK", "."}, {}, {}, {}, true, {}},
      {"a listing with gaps drops nothing",
       {{"A", dRemove}, {"GONE", dKeep}},
       {"+OK", "1 A", "."},
       {1},
       {},
       {},
       false,
       {{"A", dRemove}, {"GONE", dKeep}},
       false},
  };
  for (Case& each : cases) {
    SCOPED_TRACE(each.Name);
    TMailboxDecisions matched = MatchDecisions(each.Before, each.Uidl, each.Complete);
    EXPECT_EQ(matched.Remove, each.Remove);
    EXPECT_EQ(matched.Keep, each.Keep);
    EXPECT_EQ(matched.Review, each.Review);
    EXPECT_EQ(matched.Dropped, each.Dropped);
    EXPECT_EQ(each.Before, each.After);
  }
}

TEST(Decisions, OnlyAUidThatNamesOneMessageIsRecorded) {
  std::set<std::string> duplicates = DuplicateUids({"+OK", "1 SAME", "2 B", "3 SAME", "."});
  EXPECT_EQ(duplicates, (std::set<std::string>{"SAME"}));
  TDecisions decisions;
  EXPECT_TRUE(RecordDecision(decisions, "B", dRemove, duplicates));
  for (const char* uid : {"SAME", "0", "", "with blank"}) {
    EXPECT_FALSE(RecordDecision(decisions, uid, dRemove, duplicates)) << uid;
  }
  EXPECT_EQ(decisions, (TDecisions{{"B", dRemove}}));
}

}  // namespace
}  // namespace qb
