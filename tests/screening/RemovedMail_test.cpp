#include "screening/RemovedMail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/FileStore.h"
#include "screening/BlockEntries.h"
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
  EXPECT_TRUE(name.ends_with("-alice_mail_example_110-a_b_c_d...eml")) << name;
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_EQ(name[8], '-');
  EXPECT_TRUE(std::all_of(name.begin(), name.begin() + 8, IsAsciiDigit));
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
