#include "app/RemovalLog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileStore.h"
#include "screening/RemovedMail.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

TEST(RemovalLog, ReadsNewestFirstAndFindsOnlyTheCopiesStillThere) {
  TempFolder folder;
  std::string home = folder.Path().string() + "/";
  auto line = [](const std::string& uid, const std::string& copy) {
    TRemovalFacts facts{uid, "10", MessageCategory::mcSpam, "198.51.100.7", "a@x", "hi"};
    return FormatRemovalLogLine(std::chrono::system_clock::now(), "alice#h", facts, copy);
  };
  ASSERT_TRUE(AppendRemovalLog(home + kRemovedLogFile, line("U1", "kept.eml")));
  ASSERT_TRUE(AppendRemovalLog(home + kRemovedLogFile, "a line of something else"));
  ASSERT_TRUE(AppendRemovalLog(home + kRemovedLogFile, line("U2", "gone.eml")));
  ASSERT_TRUE(AppendRemovalLog(home + kRemovedLogFile, line("U3", kNoCopy)));
  ASSERT_TRUE(AppendRemovalLog(home + kRemovedLogFile, line("U4", "../removed.log")));
  ASSERT_TRUE(StoreRemovedCopy(home + kRemovedFolder, "kept.eml", "x"));

  std::vector<TRemovalLogEntry> entries = ReadRemovalLog(home);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].Uid, "U4");
  EXPECT_EQ(entries[0].CopyPath, "") << "a copy name never leaves the folder";
  EXPECT_EQ(entries[1].Copy, kNoCopy);
  EXPECT_EQ(entries[2].CopyPath, "");
  EXPECT_EQ(entries[3].CopyPath, home + kRemovedFolder + "kept.eml");
  EXPECT_EQ(entries[3].Category, "spam");
  EXPECT_EQ(entries[3].Rule, "198.51.100.7");
  EXPECT_TRUE(ReadRemovalLog(home + "nowhere/").empty());
}

}  // namespace
}  // namespace qb::test
