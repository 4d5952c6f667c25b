#include "screening/TransferDecoding.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(DecodeBase64Test, DecodesPaddedGroups) {
  EXPECT_EQ(DecodeBase64("SGVsbG8="), "Hello");
  EXPECT_EQ(DecodeBase64("TQ=="), "M");
  EXPECT_EQ(DecodeBase64("TWFu"), "Man");
  EXPECT_EQ(DecodeBase64("+/+/"), "\xFB\xFF\xBF");
}

TEST(DecodeBase64Test, IsLenientWithBrokenInput) {
  EXPECT_EQ(DecodeBase64("SGVs\r\nbG8 ="), "Hello")
      << "characters outside the alphabet are skipped";
  EXPECT_EQ(DecodeBase64("SGVsbG"), "Hel") << "an incomplete group is dropped";
  EXPECT_EQ(DecodeBase64("====SGk="), "Hi") << "a group beginning with = gives nothing";
  EXPECT_EQ(DecodeBase64(""), "");
}

TEST(DecodeQuotedPrintableTest, DecodesUpperCaseEscapes) {
  EXPECT_EQ(DecodeQuotedPrintable("Caf=E9"), "Caf\xE9");
  EXPECT_EQ(DecodeQuotedPrintable("a=3Db"), "a=b");
  EXPECT_EQ(DecodeQuotedPrintable("a=\r\nb"), "ab") << "soft line break";
}

TEST(DecodeQuotedPrintableTest, DropsInvalidEscapes) {
  EXPECT_EQ(DecodeQuotedPrintable("x=e9y"), "xy");
  EXPECT_EQ(DecodeQuotedPrintable("x=G1y"), "xy");
  EXPECT_EQ(DecodeQuotedPrintable("ab=E"), "ab");
  EXPECT_EQ(DecodeQuotedPrintable("ab="), "ab");
}

TEST(DecodeUULineTest, DecodesTheCountedBytes) {
  EXPECT_EQ(DecodeUULine("#0V%T"), "Cat");
  EXPECT_EQ(DecodeUULine("!0V%T"), "C") << "the count cuts the bytes";
  EXPECT_EQ(DecodeUULine("#0V% "), DecodeUULine("#0V%`")) << "blank and backquote are both 0";
  EXPECT_EQ(DecodeUULine("`"), "");
  EXPECT_EQ(DecodeUULine(""), "");
}

TEST(DecodeUULineTest, ABadCharacterGivesNothing) {
  EXPECT_EQ(DecodeUULine("#0V%t"), "");
  EXPECT_EQ(DecodeUULine("#0V%T~"), "") << "every character after the count is checked";
  EXPECT_EQ(DecodeUULine("~0V%T"), "");
}

TEST(DecodeUULineTest, AFullLineReadsSixtyCharactersOnly) {
  std::string line = "M" + std::string(60, '`') + "~";
  EXPECT_EQ(DecodeUULine(line), std::string(45, '\0'));
  EXPECT_EQ(DecodeUULine("M" + std::string(8, '!')), std::string("\x04\x10\x41\x04\x10\x41", 6))
      << "a short full-count line gives the bytes it holds";
}

}  // namespace
}  // namespace qb
