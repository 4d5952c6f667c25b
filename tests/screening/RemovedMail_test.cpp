#include "screening/RemovedMail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/FileStore.h"
#include "screening/BlockEntries.h"
#include "screening/CopyBatch.h"
#include "screening/FileNames.h"
#include "screening/ScreeningState.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

TEST(MessageOfRetrReplyTest, UndoesTheFramingAndNothingElse) {
  struct Case {
    std::string Reply;
    std::optional<std::string> Message;
  };
  const std::vector<Case> cases = {
      {"+OK 9 octets\r\nA: b\r\n\r\nx\r\n.\r\n", "A: b\r\n\r\nx\r\n"},
      {"+OK\r\n..dot\r\n.\r\n.\r\n", ".dot\r\n"},
      {"+OK\r\n...\r\n a . \r\n.\r\n", "..\r\n a . \r\n"},
      {"+OK\r\n.\r\n", ""},
      {"+OK\r\nno end\r\n", std::nullopt},
      {"-ERR no such message\r\n", std::nullopt},
      {"+OK\r\nbare\nlf\r\n.\r\n", "bare\nlf\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageOfRetrReply(c.Reply), c.Message) << c.Reply;
}

TEST(RemovedCopyNameTest, IsOneSafeFileNameOfTimeAccountAndUid) {
  auto when = std::chrono::system_clock::from_time_t(0);
  std::string name = RemovedCopyName(when, "alice#mail.example:110\r\n", "a/b\\c d..");
  EXPECT_NE(name.find("-alice_mail_example_110~"), std::string::npos) << name;
  EXPECT_TRUE(name.ends_with("-a_b_c_d...eml")) << name;
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_EQ(name[8], '-');
  EXPECT_TRUE(std::all_of(name.begin(), name.begin() + 8, IsAsciiDigit));
}

// Names made from long accounts and UIDs stay within what a file system
// takes, and two that differ only at their end stay two names.
TEST(RemovedCopyNameTest, LongAccountsAndUidsGiveBoundedDistinctNames) {
  auto when = std::chrono::system_clock::from_time_t(0);
  const std::string longAccount = std::string(300, 'a') + "#h";
  const std::string hugeUid(10 * 1024, 'U');
  struct Case {
    std::string First, Second;  // differ at their end only
    std::function<std::string(const std::string&)> Name;
    std::size_t Limit;
  };
  const std::vector<Case> cases = {
      {longAccount + "1", longAccount + "2",
       [](const std::string& a) { return MakeUidFileStem(a); }, kNamePartLimit},
      {hugeUid + "1", hugeUid + "2",
       [&](const std::string& uid) { return RemovedCopyName(when, longAccount, uid); }, 255},
      {longAccount + "1", longAccount + "2",
       [&](const std::string& a) { return RemovedCopyName(when, a, hugeUid); }, 255},
  };
  for (const Case& c : cases) {
    std::string first = c.Name(c.First), second = c.Name(c.Second);
    EXPECT_LE(first.size(), c.Limit);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.substr(0, 20), second.substr(0, 20)) << "a readable start";
  }
  EXPECT_EQ(MakeUidFileStem("bob#h"), "bob_h") << "short stems stay as they were";
  test::TempFolder folder;
  EXPECT_TRUE(
      StoreRemovedCopy(folder.File("removed/"), RemovedCopyName(when, longAccount, hugeUid), "x"));
}

// Copies of one batch never overwrite each other, are the user's alone, and
// a batch that is never committed leaves nothing behind.
TEST(CopyBatchTest, CopiesAreCreatedExclusivelyPrivateAndOnlyCommittedOnesStay) {
  test::TempFolder folder;
  std::string removed = folder.File("removed/");
  {
    TCopyBatch batch;
    EXPECT_EQ(batch.Write(removed, "same.eml", "one"), "same.eml");
    EXPECT_EQ(batch.Write(removed, "same.eml", "two"), "same-2.eml");
    EXPECT_TRUE(batch.Commit().empty());
    EXPECT_EQ(batch.Write(removed, "same.eml", "three"), "same-3.eml");
  }
  EXPECT_EQ(ReadWholeFile(removed + "same.eml"), "one");
  EXPECT_EQ(ReadWholeFile(removed + "same-2.eml"), "two");
  EXPECT_FALSE(std::filesystem::exists(removed + "same-3.eml")) << "never committed";
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(removed + "same.eml").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(removed).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(RemovalLogTest, OneLinePerRemovalAppendedWithTabsBetweenTheFields) {
  test::TempFolder folder;
  TRemovalFacts facts{"U1",    "123", MessageCategory::mcBlockedSubject,
                      "Cheap", "a@x", "Cheap\tthings\r\nnow"};
  std::string line =
      FormatRemovalLogLine(std::chrono::system_clock::now(), "alice#h\r\n", facts, "c.eml");
  std::string fields = line.substr(line.find('\t'));
  EXPECT_EQ(fields, "\talice#h\tU1\t123\tblocked subject\tCheap\ta@x\tCheap things  now\tc.eml");
  ASSERT_TRUE(AppendRemovalLog(folder.File("removed.log"), line));
  ASSERT_TRUE(AppendRemovalLog(folder.File("removed.log"), "second"));
  EXPECT_EQ(ReadWholeFile(folder.File("removed.log")), line + "\r\nsecond\r\n");
  EXPECT_FALSE(AppendRemovalLog(folder.File("missing/removed.log"), line));
}

TEST(RemovedCopiesTest, StoredCopiesAreKeptForTheirDaysOnly) {
  test::TempFolder folder;
  std::string removed = folder.File("removed/");
  ASSERT_TRUE(StoreRemovedCopy(removed, "old.eml", "old"));
  ASSERT_TRUE(StoreRemovedCopy(removed, "new.eml", "new"));
  ASSERT_TRUE(StoreRemovedCopy(removed, "old.txt", "not a copy"));
  std::filesystem::create_directories(removed + "deliver");
  auto now = std::chrono::system_clock::now();
  auto longAgo = std::chrono::file_clock::from_sys(now - std::chrono::hours(24 * 31));
  std::filesystem::last_write_time(removed + "old.eml", longAgo);
  std::filesystem::last_write_time(removed + "old.txt", longAgo);
  EXPECT_EQ(RemoveOldCopies(removed, 30, now), 1);
  EXPECT_FALSE(std::filesystem::exists(removed + "old.eml"));
  EXPECT_EQ(ReadWholeFile(removed + "new.eml"), "new");
  EXPECT_TRUE(std::filesystem::exists(removed + "old.txt"));
  EXPECT_EQ(RemoveOldCopies(folder.File("nowhere/"), 30, now), 0);
  ASSERT_TRUE(WriteFileAtomically(folder.File("file"), "x"));
  EXPECT_FALSE(StoreRemovedCopy(folder.File("file/"), "a.eml", "x")) << "no folder to write in";
}

TEST(BlockEntriesTest, EntriesOfFewerThanThreeCharactersBesidesBlanksAreNotUsed) {
  TextLines ignored;
  TextLines usable =
      UsableBlockEntries({"abc", "ab", "", "   ", " a b ", "  abc", "a@b", "\t"}, ignored);
  EXPECT_EQ(usable, (TextLines{"abc", " a b ", "  abc", "a@b"}));
  EXPECT_EQ(ignored, (TextLines{"ab", "   ", "\t"})) << "empty lines are left out silently";
  EXPECT_EQ(IgnoredEntriesText("senlist.txt", ignored),
            "senlist.txt: entries shorter than 3 characters are ignored: \"ab\", \"   \", \"\t\"");
  EXPECT_NE(RefusedEntryText("sublist.txt", "ab").find("sublist.txt"), std::string::npos);
}

}  // namespace
}  // namespace qb
