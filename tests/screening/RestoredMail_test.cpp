#include "screening/RestoredMail.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileStore.h"
#include "screening/RemovedMail.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

const std::string kAccount = "alice#pop.example.org\r\n";

// A copy belongs to exactly one account: by the hash in its name, or for a
// name of the older form by the log line that names it. Accounts whose
// names start alike ("a" and "a-b") never get each other's copies.
TEST(RestoredMailTest, ACopyBelongsToExactlyTheAccountThatRemovedIt) {
  auto now = std::chrono::system_clock::now();
  const std::string older = "20261208-101500-alice_pop_example_org-";
  const TCopyAccounts logged = {{older + "U1.eml", "alice#pop.example.org"},
                                {older + "x-U2.eml", "alice#pop.example.org_x"},
                                {older + "a-b-c.eml", "alice#pop.example.org"}};
  struct Case {
    std::string Name;
    std::string Account;
    bool Own;
  };
  const std::vector<Case> cases = {
      {RemovedCopyName(now, "a b#h:110", "U 1"), "a b#h:110", true},
      {RemovedCopyName(now, "a#h", "b-U1"), "a-b#h", false},
      {RemovedCopyName(now, "a-b#h", "U1"), "a#h", false},
      {RemovedCopyName(now, "a.b#h", "U1"), "a_b#h", false},  // one stem, two accounts
      {RemovedCopyName(now, std::string(300, 'l') + "#h", "U1"), std::string(300, 'l') + "#h",
       true},
      {older + "U1.eml", kAccount, true},
      {older + "a-b-c.eml", kAccount, true},
      {older + "x-U2.eml", kAccount, false},  // the log names another account
      {older + "U9.eml", kAccount, false},    // no log line says whose it is
      {older + "U1.txt", kAccount, false},
      {"20261208_101500-alice_pop_example_org-U1.eml", kAccount, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsCopyOfAccount(c.Name, c.Account, logged), c.Own) << c.Name << " " << c.Account;
  }
}

TEST(RestoredMailTest, RepliesAreFramedAsAServerFramesThem) {
  const std::string message = "A: b\r\n.C: d\r\n\r\nline 1\r\n.\r\nline 3\r\n";
  EXPECT_EQ(MessageReply(message, std::nullopt),
            "+OK 34 octets\r\nA: b\r\n..C: d\r\n\r\nline 1\r\n..\r\nline 3\r\n.\r\n");
  EXPECT_EQ(MessageReply(message, 0), "+OK 34 octets\r\nA: b\r\n..C: d\r\n\r\n.\r\n");
  EXPECT_EQ(MessageReply(message, 2),
            "+OK 34 octets\r\nA: b\r\n..C: d\r\n\r\nline 1\r\n..\r\n.\r\n");
  EXPECT_EQ(MessageForDelivery(message), message) << "a copy as written goes out as it is";
  EXPECT_EQ(MessageForDelivery("A: b\n\nbody"), "A: b\r\n\r\nbody\r\n");
}

class RestoredDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name = RemovedCopyName(std::chrono::system_clock::now(), kAccount, "U9");
    ASSERT_TRUE(
        StoreRemovedCopy(deliver, name, "From: x@example.org\r\nSubject: Back\r\n\r\nhi\r\n"));
    ASSERT_TRUE(StoreRemovedCopy(deliver, "20261208-101500-bob_h-U1.eml", "not alice's"));
    delivery.Start(MarkedCopiesOf(folder.Path().string() + "/", kAccount), 3);
  }
  std::string Reply(const std::string& line) {
    return delivery.Answer(ParseCommand(line), deliver).value_or("(the server's)");
  }

  TempFolder folder;
  std::string deliver = folder.Path().string() + "/" + kDeliverFolder;
  std::string name;
  TRestoredDelivery delivery;
};

TEST_F(RestoredDeliveryTest, CommandsThatNameARestoredMessageAreAnsweredByTheGateway) {
  ASSERT_TRUE(delivery.Any());
  std::string uid = Reply("UIDL 3").substr(6);
  EXPECT_TRUE(uid.starts_with("QBR")) << uid;
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"LIST 3", "+OK 3 42\r\n"},
      {"LIST 4", "(the server's)"},
      {"LIST 2", "(the server's)"},
      {"LIST", "(the server's)"},
      {"STAT", "(the server's)"},
      {"NOOP 3", "(the server's)"},
      {"TOP 3 0", "+OK 42 octets\r\nFrom: x@example.org\r\nSubject: Back\r\n\r\n.\r\n"},
      {"TOP 3 x", "-ERR Invalid arguments\r\n"},
      {"RETR 03", "+OK 42 octets\r\nFrom: x@example.org\r\nSubject: Back\r\n\r\nhi\r\n.\r\n"},
      {"DELE 3", "+OK Marked to be deleted\r\n"},
      {"RETR 3", "-ERR Message 3 is deleted\r\n"},
      {"DELE 3", "-ERR Message 3 is deleted\r\n"},
  };
  for (const auto& [line, reply] : steps) EXPECT_EQ(Reply(line), reply) << line;
  std::vector<TRestoredCopy> ended = delivery.Ended();
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].Name, name);
  EXPECT_TRUE(ended[0].Retrieved && ended[0].Deleted);
  EXPECT_EQ(ended[0].Subject, "Back");
}

TEST_F(RestoredDeliveryTest, ListingsAndTheCountShowWhatIsNotDeleted) {
  const std::string list = "+OK 2 messages\r\n1 100\r\n2 200\r\n.\r\n";
  std::string uid = Reply("UIDL 3").substr(6, 19);
  EXPECT_EQ(delivery.WithListing(list, false), "+OK 2 messages\r\n1 100\r\n2 200\r\n3 42\r\n.\r\n");
  EXPECT_EQ(delivery.WithListing("+OK\r\n.\r\n", true), "+OK\r\n3 " + uid + "\r\n.\r\n");
  EXPECT_EQ(delivery.WithListing("-ERR\r\n", false), "-ERR\r\n");
  EXPECT_EQ(delivery.WithStat("+OK 2 300\r\n"), "+OK 3 342\r\n");
  EXPECT_TRUE(delivery.Ended().empty()) << "listed is not delivered";
  Reply("DELE 3");
  EXPECT_EQ(delivery.WithStat("+OK 2 300\r\n"), "+OK 2 300\r\n");
  EXPECT_EQ(delivery.WithListing(list, false), list);
  delivery.Undelete();
  EXPECT_EQ(delivery.WithStat("+OK 2 300\r\n"), "+OK 3 342\r\n");
  EXPECT_TRUE(delivery.Ended().empty()) << "RSET undid the deletion";
}

TEST(RestoredMailTest, MarkingMovesTheCopyIntoTheDeliverFolderAndBack) {
  TempFolder folder;
  std::string home = folder.Path().string() + "/";
  ASSERT_TRUE(StoreRemovedCopy(home + kRemovedFolder, "c.eml", "x"));
  EXPECT_FALSE(MarkForDelivery(home, "missing.eml"));
  EXPECT_FALSE(MarkForDelivery(home, "../removed.log"));
  ASSERT_TRUE(MarkForDelivery(home, "c.eml"));
  EXPECT_FALSE(std::filesystem::exists(home + kRemovedFolder + "c.eml"));
  EXPECT_EQ(ReadWholeFile(home + kDeliverFolder + "c.eml"), "x");
  ASSERT_TRUE(ReturnDeliveredCopy(home, "c.eml"));
  EXPECT_EQ(ReadWholeFile(home + kRemovedFolder + "c.eml"), "x");
  EXPECT_FALSE(std::filesystem::exists(home + kDeliverFolder + "c.eml"));
}

}  // namespace
}  // namespace qb::test
