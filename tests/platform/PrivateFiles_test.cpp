#include "platform/PrivateFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

unsigned ModeOf(const std::string& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::all);
}

// Files with mail or account data are the user's alone whatever the umask;
// every other file follows it.
TEST(PrivateFilesTest, PrivateFilesAreWrittenForTheUserAloneAndOthersFollowTheUmask) {
  test::TempFolder folder;
  mode_t before = umask(027);
  struct Case {
    std::string Name;
    unsigned Mode;
  } cases[] = {{"friends.txt", 0600},     {"alice_h.UID", 0600},    {"alice_h.decisions", 0600},
               {"stlsservers.txt", 0600}, {"checkahead.txt", 0600}, {"vlist.txt", 0640},
               {"sublist.txt", 0640}};
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileAtomically(folder.File(c.Name), "x", ProgramFileMode(c.Name)));
    EXPECT_EQ(ModeOf(folder.File(c.Name)), c.Mode) << c.Name;
  }
  umask(before);
}

// At start, what an earlier version left readable by others is narrowed
// once; what is private already, and the shared lists, stay as they are.
TEST(PrivateFilesTest, WiderFilesAndFoldersAreNarrowedAndCounted) {
  test::TempFolder folder;
  std::string home = folder.Path().string() + "/";
  fs::create_directories(home + "removed/deliver");
  for (const char* name : {"removed.log", "a.UID", "a.decisions", "vlist.txt", "removed/x.eml",
                           "removed/deliver/y.eml"}) {
    ASSERT_TRUE(WriteFileAtomically(home + name, "x", 0644));
  }
  for (const char* folderName : {"", "removed", "removed/deliver"}) {
    fs::permissions(home + folderName, fs::perms(0755));
  }
  EXPECT_EQ(NarrowPrivateFiles(home), 8);
  EXPECT_EQ(ModeOf(home + "a.UID"), 0600u);
  EXPECT_EQ(ModeOf(home + "removed/deliver/y.eml"), 0600u);
  EXPECT_EQ(ModeOf(home + "removed"), 0700u);
  EXPECT_EQ(ModeOf(home + "vlist.txt"), 0644u) << "a shared list";
  EXPECT_EQ(NarrowPrivateFiles(home), 0) << "said once";
  EXPECT_EQ(NarrowPrivateFiles(home + "missing/"), 0);
}

}  // namespace
}  // namespace qb
