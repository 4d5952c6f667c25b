#include "screening/Classification.h"

#include <gtest/gtest.h>

#include <tuple>

namespace qb {
namespace {

MessageRow Row(std::string number, std::string size, std::string from, std::string subject,
               std::string to = "me@example.org") {
  MessageRow row;
  row.Number = std::stoll(number);
  row.Size = std::move(size);
  row.From = std::move(from);
  row.Subject = std::move(subject);
  row.To = std::move(to);
  return row;
}

class ClassificationTest : public ::testing::Test {
 protected:
  ScreeningState state;
  ReviewList review;

  void SetUp() override {
    state.VirusList = {"I love you"};
    state.SubjectList = {"Cheap "};
    state.SenderList = {"SPAM", "bob "};
    state.RecipientList = {"list@"};
  }

  // Adds the rows as the scan would, all with the DNS outcome "0", and
  // classifies them.
  void Classify(std::vector<MessageRow> rows) {
    state.UidlReply = {"+OK"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (state.SpamFlags.size() <= i) state.SpamFlags.push_back("0");
      state.UidlReply.push_back(std::to_string(i + 1) + " uid-" + std::to_string(i + 1));
      review.Add(std::move(rows[i]));
    }
    state.UidlReply.push_back(".");
    Listele(review, state);
  }

  const MessageRow& Message(const std::string& number) const {
    for (const MessageRow& row : review.Rows()) {
      if (std::to_string(row.Number) == number) return row;
    }
    throw std::runtime_error("no row for message " + number);
  }
};

TEST_F(ClassificationTest, AVirusNeedsMoreThan6000Bytes) {
  Classify({Row("1", "6000", "a@x", "I LOVE YOU"), Row("2", "6001", "a@x", "i love you too")});
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcUseful);
  EXPECT_FALSE(Message("1").Checked);
  EXPECT_EQ(Message("2").CategoryIcon, MessageCategory::mcVirus);
  EXPECT_TRUE(Message("2").Checked);
}

TEST_F(ClassificationTest, TheStrongestCategoryWins) {
  state.SpamFlags = {"0", "1", "0"};
  Classify({Row("1", "9000", "spam@x", "I love you"), Row("2", "100", "a@x", "Cheap pills"),
            Row("3", "100", "a@x", "Cheap pills", "list@example.org")});
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcVirus) << "virus over sender";
  EXPECT_EQ(Message("2").CategoryIcon, MessageCategory::mcSpam) << "spam over subject";
  EXPECT_EQ(Message("3").CategoryIcon, MessageCategory::mcBlockedRecipient)
      << "recipient over subject";
  for (const MessageRow& row : review.Rows()) EXPECT_TRUE(row.Checked);
}

TEST_F(ClassificationTest, EachListTicksItsCategory) {
  Classify({Row("1", "10", "a@x", "Cheap watches"), Row("2", "10", "Spammer@x", "hi"),
            Row("3", "10", "a@x", "hi", "LIST@x")});
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcBlockedSubject);
  EXPECT_EQ(Message("2").CategoryIcon, MessageCategory::mcBlockedSender);
  EXPECT_EQ(Message("3").CategoryIcon, MessageCategory::mcBlockedRecipient);
}

TEST_F(ClassificationTest, OnlyTheBeginningIsCompared) {
  Classify({Row("1", "10", "my-spam@x", "hi"), Row("2", "10", "bob@x", "Cheap")});
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcUseful);
  EXPECT_EQ(Message("2").CategoryIcon, MessageCategory::mcUseful)
      << "blanks at the end of an entry count";
}

TEST_F(ClassificationTest, AnEmptyEntryMatchesNothing) {
  state.SenderList = {""};
  state.SubjectList = {""};
  Classify({Row("1", "10", "a@x", "hi")});
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcUseful);
  EXPECT_FALSE(PrefixMatches("", "anything"));
}

TEST_F(ClassificationTest, FillsTheUidsAndSortsBySize) {
  Classify(
      {Row("1", "900", "a@x", "hi"), Row("2", "12000", "b@x", "hi"), Row("3", "50", "c@x", "hi")});
  EXPECT_EQ(review.SortColumn, ReviewColumn::Size);
  ASSERT_EQ(review.Count(), 3u);
  EXPECT_EQ(review[0].Number, 2);
  EXPECT_EQ(review[1].Number, 1);
  EXPECT_EQ(review[2].Number, 3);
  EXPECT_EQ(Message("1").Uid, "uid-1");
  EXPECT_EQ(Message("2").Uid, "uid-2");
}

TEST_F(ClassificationTest, UidsFollowScanStart) {
  state.UidlReply = {"+OK", "1 first", "2 second", "3", "."};
  state.SpamFlags = {"0", "0"};
  review.Add(Row("2", "10", "a@x", "hi"));
  review.Add(Row("3", "10", "b@x", "hi"));
  Listele(review, state);
  EXPECT_EQ(Message("2").Uid, "second");
  EXPECT_EQ(Message("3").Uid, "3") << "a line without a blank is the whole uid";
}

TEST_F(ClassificationTest, MissingScanDataLeavesTheRowUsable) {
  review.Add(Row("1", "-", "a@x", "I love you"));
  review.Add(Row("2", "10", "b@x", "hi"));
  Listele(review, state);  // no SpamFlags, no UIDL reply
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcUseful) << "a size that is no number";
  EXPECT_EQ(Message("2").Uid, "0");
}

TEST_F(ClassificationTest, AFriendIsNotTickedByTheListsAndEveryTickNamesItsRule) {
  state.FriendList = {"Bob@Example.org", "@friends.example", "@"};
  Classify({Row("1", "7000", "bob@example.org", "I love you"),
            Row("2", "10", "Pal@FRIENDS.example", "Cheap pills"),
            Row("3", "10", "x@sub.friends.example", "Cheap pills"),
            Row("4", "7000", "a@x", "I love you too"), Row("5", "10", "SPAM@x", "hi"),
            Row("6", "10", "a@x", "hi", "list@x"), Row("7", "10", "anyone@x", "hello")});
  const std::vector<std::tuple<std::string, MessageCategory, std::string>> expected = {
      {"1", MessageCategory::mcVirus, "I love you"},
      {"2", MessageCategory::mcUseful, ""},
      {"3", MessageCategory::mcBlockedSubject, "Cheap "},
      {"4", MessageCategory::mcVirus, "I love you"},
      {"5", MessageCategory::mcBlockedSender, "SPAM"},
      {"6", MessageCategory::mcBlockedRecipient, "list@"},
      {"7", MessageCategory::mcUseful, ""}};
  for (const auto& [number, category, rule] : expected) {
    EXPECT_EQ(Message(number).CategoryIcon, category) << number;
    EXPECT_EQ(Message(number).Rule, rule) << number;
  }
}

// Worms send from addresses their victims know: a friend lifts the block
// lists and the DNS block list, never a virus rule.
TEST_F(ClassificationTest, AFriendLiftsTheBlockListsButNeitherVirusRule) {
  state.FriendList = {"@friends.example"};
  state.AttachmentList = {".pdf.exe", ".scr"};
  state.SpamFlags = {"0", "0", "1", "0"};
  std::vector<MessageRow> rows = {Row("1", "7000", "pal@friends.example", "I love you"),
                                  Row("2", "10", "pal@friends.example", "hi"),
                                  Row("3", "10", "pal@friends.example", "Cheap pills"),
                                  Row("4", "10", "stranger@x", "photos")};
  rows[1].Attachments = {"notes.txt", "Invoice.PDF.exe. "};
  rows[3].Attachments = {"holiday.scr"};
  Classify(rows);
  const std::vector<std::tuple<std::string, MessageCategory, std::string>> expected = {
      {"1", MessageCategory::mcVirus, "I love you"},
      {"2", MessageCategory::mcVirus, ".pdf.exe"},
      {"3", MessageCategory::mcUseful, ""},
      {"4", MessageCategory::mcVirus, ".scr"}};
  for (const auto& [number, category, rule] : expected) {
    EXPECT_EQ(Message(number).CategoryIcon, category) << number;
    EXPECT_EQ(Message(number).Rule, rule) << number;
  }
}

TEST_F(ClassificationTest, ASenderEntryMatchesTheDisplayNameToo) {
  state.SenderList = {"Lotto Claims", "win@"};
  std::vector<MessageRow> rows = {Row("1", "10", "claims@x", "hi"), Row("2", "10", "a@x", "hi"),
                                  Row("3", "10", "win@x", "hi"), Row("4", "10", "b@x", "hi")};
  rows[0].FromName = "lotto claims office";
  rows[1].FromName = "My Lotto Claims";
  rows[3].To = "Lotto Claims";
  Classify(rows);
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcBlockedSender);
  EXPECT_EQ(Message("1").Rule, "Lotto Claims");
  EXPECT_EQ(Message("2").CategoryIcon, MessageCategory::mcUseful) << "a prefix, as for addresses";
  EXPECT_EQ(Message("3").Rule, "win@");
  EXPECT_EQ(Message("4").CategoryIcon, MessageCategory::mcUseful) << "only the sender's name";
}

TEST_F(ClassificationTest, ASpamRowNamesItsListedRelay) {
  state.SpamFlags = {"1"};
  MessageRow row = Row("1", "10", "a@x", "hi");
  row.ListedRelay = "198.51.100.7";
  Classify({row});
  EXPECT_EQ(Message("1").CategoryIcon, MessageCategory::mcSpam);
  EXPECT_EQ(Message("1").Rule, "198.51.100.7");
}

}  // namespace
}  // namespace qb
