#include "screening/ScreeningState.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

TEST(UidFileStemTest, ReplacesTheSeparatorsAndTrims) {
  EXPECT_EQ(MakeUidFileStem("john.smith@mail.example.com#pop.example.com\r\n"),
            "john_smith_mail_example_com_pop_example_com");
  EXPECT_EQ(MakeUidFileStem("  user#host:110 "), "user_host:110");
}

TEST(UidFileStemTest, KeepsTheMarkerFileInsideTheProgramFolder) {
  test::TempFolder sandbox;
  ScreeningState state;
  state.ProgramFolder = (sandbox.Path().string() + "/");
  for (const char* account : {"../../etc/passwd#x\r\n", "..\\..\\boot.ini#x", "/tmp/evil#x"}) {
    state.UidFileStem = MakeUidFileStem(account);
    std::filesystem::path marker = UidMarkerFile(state);
    EXPECT_EQ(marker.parent_path(),
              std::filesystem::path((sandbox.Path().string() + "/")).parent_path())
        << account;
    EXPECT_EQ(state.UidFileStem.find_first_of("/\\."), std::string::npos) << account;
  }
}

TEST(UidMarkerFileTest, NamesTheFileAfterTheStem) {
  ScreeningState state;
  state.ProgramFolder = "/opt/qb/";
  state.UidFileStem = MakeUidFileStem("a.b@c#d.e\r\n");
  EXPECT_EQ(UidMarkerFile(state), "/opt/qb/a_b_c_d_e.UID");
}

TEST(UidMarkerFileTest, WritesOneLineAndReadsTheFirst) {
  test::TempFolder sandbox;
  std::string path = sandbox.File("acct.UID");
  EXPECT_EQ(ReadUidMarker(path), "0") << "missing file";
  ASSERT_TRUE(WriteUidMarker(path, "uid-17"));
  EXPECT_EQ(ReadWholeFile(path), "uid-17\r\n");
  EXPECT_EQ(ReadUidMarker(path), "uid-17");
  ASSERT_TRUE(WriteFileAtomically(path, "first\nsecond\n"));
  EXPECT_EQ(ReadUidMarker(path), "first");
  ASSERT_TRUE(WriteFileAtomically(path, ""));
  EXPECT_EQ(ReadUidMarker(path), "0") << "empty file";
  ASSERT_TRUE(WriteFileAtomically(path, "\r\nlater"));
  EXPECT_EQ(ReadUidMarker(path), "0") << "empty first line";
  EXPECT_FALSE(WriteUidMarker(sandbox.File("missing/acct.UID"), "x"));
}

TEST(MessageSizeTableTest, KeepsEveryNumberTheServerSends) {
  MessageSizeTable sizes;
  sizes.Set(1, 900);
  sizes.Set(60000, 5);
  sizes.Set(60001, 12000);
  sizes.Set(4000000000LL, 7);
  sizes.Set(-3, 1);
  EXPECT_EQ(sizes.Get(1), 900);
  EXPECT_EQ(sizes.Get(60000), 5);
  EXPECT_EQ(sizes.Get(60001), 12000);
  EXPECT_EQ(sizes.Get(4000000000LL), 7);
  EXPECT_EQ(sizes.Get(-3), 1);
  EXPECT_EQ(sizes.Get(2), 0) << "a number never given";
  sizes.Clear();
  EXPECT_EQ(sizes.Get(1), 0);
}

}  // namespace
}  // namespace qb
