#include "screening/ListFile.h"

#include <gtest/gtest.h>

#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

TEST(ParseListTextTest, AcceptsEveryLineEnd) {
  EXPECT_EQ(ParseListText("a\r\nb\nc\rd"), (TextLines{"a", "b", "c", "d"}));
  EXPECT_EQ(ParseListText("a\n\rb"), (TextLines{"a", "", "b"})) << "LF CR is two line ends";
}

TEST(ParseListTextTest, AFinalLineEndAddsNoEntry) {
  EXPECT_EQ(ParseListText("a\r\n"), (TextLines{"a"}));
  EXPECT_EQ(ParseListText("a\r"), (TextLines{"a"}));
  EXPECT_EQ(ParseListText("a"), (TextLines{"a"}));
  EXPECT_EQ(ParseListText(""), TextLines{});
  EXPECT_EQ(ParseListText("\r\n"), (TextLines{""}));
}

TEST(ParseListTextTest, KeepsEntriesExactly) {
  EXPECT_EQ(ParseListText(" Cheap \r\n\r\nMiXed\r\n"), (TextLines{" Cheap ", "", "MiXed"}));
  EXPECT_EQ(ParseListText(std::string("a\0b\n", 4)), (TextLines{std::string("a\0b", 3)}));
}

TEST(FormatListTextTest, EndsEveryEntryWithCrLf) {
  EXPECT_EQ(FormatListText({"a", "", " b "}), "a\r\n\r\n b \r\n");
  EXPECT_EQ(FormatListText({}), "");
  TextLines entries = {"x", "", "y z"};
  EXPECT_EQ(ParseListText(FormatListText(entries)), entries);
}

TEST(ListFileTest, WritesAndReadsTheWholeFile) {
  test::TempFolder sandbox;
  std::string path = sandbox.File("sublist.txt");
  EXPECT_EQ(ReadListFile(path), std::nullopt);
  ASSERT_TRUE(WriteListFile(path, {"Cheap", "Free"}));
  EXPECT_EQ(ReadWholeFile(path), "Cheap\r\nFree\r\n");
  ASSERT_TRUE(WriteListFile(path, {"Only"}));
  EXPECT_EQ(ReadListFile(path), (TextLines{"Only"}));
  EXPECT_FALSE(WriteListFile(sandbox.File("no/such/folder.txt"), {"x"}));
}

TEST(ListContainsTest, ComparesWholeEntriesIgnoringCase) {
  TextLines list = {"Cheap", "bob@example.org"};
  EXPECT_TRUE(ListContains(list, "cHEAP"));
  EXPECT_TRUE(ListContains(list, "BOB@EXAMPLE.ORG"));
  EXPECT_FALSE(ListContains(list, "Cheap "));
  EXPECT_FALSE(ListContains(list, "Che"));
}

}  // namespace
}  // namespace qb
