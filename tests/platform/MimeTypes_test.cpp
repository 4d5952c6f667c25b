#include "platform/MimeTypes.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(MimeTypeTableTest, ReadsTheFirstExtensionOfEachType) {
  MimeTypeTable table = MimeTypeTable::FromText(
      "# comment line\n"
      "text/plain\t\ttxt asc text\n"
      "application/pdf pdf # trailing comment\r\n"
      "application/x-none\n"
      "text/plain dup\n"
      "   \n"
      "image/PNG png");
  EXPECT_EQ(table.size(), 3u);
  EXPECT_EQ(table.ExtensionFor("text/plain"), ".txt");
  EXPECT_EQ(table.ExtensionFor("application/pdf"), ".pdf");
  EXPECT_EQ(table.ExtensionFor("application/x-none"), "") << "a type without extension";
  EXPECT_EQ(table.ExtensionFor("Image/Png"), ".png") << "types ignore case";
  EXPECT_EQ(table.ExtensionFor("text/html"), "");
  EXPECT_EQ(table.ExtensionFor("#"), "");
}

TEST(MimeTypeTableTest, AMissingFileGivesAnEmptyTable) {
  EXPECT_EQ(MimeTypeTable::FromFile("/nonexistent/mime.types").size(), 0u);
}

TEST(CurrentMimeTypesTest, UsesTheInstalledTableUntilItIsRemoved) {
  MimeTypeTable table = MimeTypeTable::FromText("text/x-test tst\n");
  const IMimeTypes* previous = InstallMimeTypes(&table);
  EXPECT_EQ(CurrentMimeTypes().ExtensionFor("text/x-test"), ".tst");
  InstallMimeTypes(previous);
  EXPECT_EQ(CurrentMimeTypes().ExtensionFor("text/x-test"), "");
}

TEST(CurrentMimeTypesTest, TheSystemTableKnowsPlainText) {
  if (MimeTypeTable::FromFile("/etc/mime.types").size() == 0) {
    GTEST_SKIP() << "no /etc/mime.types (package media-types)";
  }
  EXPECT_EQ(CurrentMimeTypes().ExtensionFor("text/plain"), ".txt");
  EXPECT_EQ(CurrentMimeTypes().ExtensionFor("application/pdf"), ".pdf");
}

}  // namespace
}  // namespace qb
