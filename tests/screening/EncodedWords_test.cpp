#include "screening/EncodedWords.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(DecodeEncodedWordsTest, DecodesQWordsIgnoringTheCharset) {
  EXPECT_EQ(DecodeEncodedWords("=?iso-8859-1?Q?Caf=E9_au_lait?="), "Caf\xE9 au lait");
  EXPECT_EQ(DecodeEncodedWords("=?utf-8?q?a=41?="), "aA");
}

TEST(DecodeEncodedWordsTest, DecodesBAndUWords) {
  EXPECT_EQ(DecodeEncodedWords("=?utf-8?B?SGVsbG8=?="), "Hello");
  EXPECT_EQ(DecodeEncodedWords("=?utf-8?b?SGVsbG8=?="), "Hello");
  EXPECT_EQ(DecodeEncodedWords("=?x?U?#0V%T?="), "Cat");
  EXPECT_EQ(DecodeEncodedWords("=?x?B?QQBC?="), "A") << "cut at the first zero byte";
}

TEST(DecodeEncodedWordsTest, AnyOtherEncodingLetterIsQ) {
  EXPECT_EQ(DecodeEncodedWords("=?iso?X?a=41?="), "aA");
  EXPECT_EQ(DecodeEncodedWords("=?iso?BB?a=41?="), "?aA")
      << "no ? after the letter: Q, two removed";
}

TEST(DecodeEncodedWordsTest, KeepsTheSurroundingText) {
  EXPECT_EQ(DecodeEncodedWords("  Re: =?a?Q?x?= =?a?Q?y?= end "), "Re: x y end");
  EXPECT_EQ(DecodeEncodedWords("a=?x?Q?\?=b"), "ab") << "an empty encoded text";
}

TEST(DecodeEncodedWordsTest, AQTextMayBeginWithEquals) {
  EXPECT_EQ(DecodeEncodedWords("=?iso?Q?=41bc?="), "Abc");
}

TEST(DecodeEncodedWordsTest, AMalformedWordStopsTheDecoding) {
  EXPECT_EQ(DecodeEncodedWords("=?a?Q?x?= and =?iso"), "x and =?iso");
  EXPECT_EQ(DecodeEncodedWords("pre =?iso?Q?abc"), "pre =?iso?Q?abc");
  EXPECT_EQ(DecodeEncodedWords(""), "");
}

TEST(DecodeEncodedWordsTest, DecodedBytesAreDecodedAgain) {
  // "=3D" gives "=", which forms "=?" with the text after the word.
  EXPECT_EQ(DecodeEncodedWords("=?a?Q?=3D?=?a?Q?hi?="), "hi");
}

}  // namespace
}  // namespace qb
