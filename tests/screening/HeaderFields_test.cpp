#include "screening/HeaderFields.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

const TextLines kHeader = {
    "+OK message follows",
    "Received: from a",
    "Subject: Hello; world",
    "RECEIVED: from b",
    "From: 'Bob Smith\"",
    "To: ''",
    "Content-Type: text/plain; NAME = \"a;b.txt\" ; charset=us-ascii",
};

TEST(FindHeaderLineTest, CountsMatchesIgnoringLetterCase) {
  EXPECT_EQ(FindHeaderLine(kHeader, "received:", 0), 1);
  EXPECT_EQ(FindHeaderLine(kHeader, "received:", 1), 3);
  EXPECT_EQ(FindHeaderLine(kHeader, "received:", 2), -1);
  EXPECT_EQ(FindHeaderLine(kHeader, "X-Mailer:", 0), -1);
  EXPECT_EQ(FindHeaderLine(kHeader, "received:", -1), -1);
}

TEST(HasHeaderTest, NeedsTheColonAfterTheName) {
  EXPECT_TRUE(HasHeader(kHeader, "subject"));
  EXPECT_FALSE(HasHeader({"Subjective: x"}, "Subject"));
  EXPECT_FALSE(HasHeader({}, "Subject"));
}

TEST(HeaderLineValueTest, StopsAtTheFirstSemicolonOutsideQuotes) {
  EXPECT_EQ(HeaderLineValue("Subject: \"a;b\"; c"), "a;b");
  EXPECT_EQ(HeaderLineValue("Subject: Re: hi"), "Re: hi");
  EXPECT_EQ(HeaderLineValue("Subject:\t  spaced \r"), "spaced");
  EXPECT_EQ(HeaderLineValue("no colon here"), "");
  EXPECT_EQ(HeaderLineValue("Subject: \""), "");
}

TEST(GetHeaderValueTest, TrimsCutsAndUnquotes) {
  EXPECT_EQ(GetHeaderValue(kHeader, "Subject"), "Hello");
  EXPECT_EQ(GetHeaderValue(kHeader, "From"), "Bob Smith") << "quote and apostrophe may mix";
  EXPECT_EQ(GetHeaderValue(kHeader, "To"), "''") << "two characters are kept";
  EXPECT_EQ(GetHeaderValue(kHeader, "Date"), "");
  EXPECT_EQ(GetHeaderValue(kHeader, "Content-Type"), "text/plain");
}

TEST(GetHeaderParamTest, FindsTheNamedParameter) {
  const std::string& line = kHeader.back();
  EXPECT_EQ(GetHeaderParam(line, "name"), "a;b.txt");
  EXPECT_EQ(GetHeaderParam(line, " charset "), "us-ascii");
  EXPECT_EQ(GetHeaderParam(line, "boundary"), "");
}

TEST(GetHeaderParamTest, FollowsTheCollectionRules) {
  EXPECT_EQ(GetHeaderParam("Content-Type: x; name=a; name=b", "name"), "ab");
  EXPECT_EQ(GetHeaderParam("Content-Type: x; name=a=b", "name"), "a");
  EXPECT_EQ(GetHeaderParam("Content-Type: name=x", "name"), "")
      << "the field value is no parameter";
  EXPECT_EQ(GetHeaderParam("Content-Type: x; filename=y", "name"), "");
  EXPECT_EQ(GetHeaderParam("Content-Type: x; name=\"q=1\"", "name"), "q=1");
  EXPECT_EQ(GetHeaderParam("", "name"), "");
}

TEST(HeaderParamValueTest, NeedsANonEmptyValueAndStripsApostrophes) {
  TextLines lines = {"Content-Type: x; name='a.txt'", "Content-Disposition: y; filename=\"\""};
  EXPECT_TRUE(HasHeaderParam(lines, "Content-Type", "name"));
  EXPECT_EQ(GetHeaderParamValue(lines, "Content-Type", "name"), "a.txt");
  EXPECT_FALSE(HasHeaderParam(lines, "Content-Disposition", "filename"));
  EXPECT_FALSE(HasHeaderParam(lines, "Content-ID", "name"));
  EXPECT_EQ(GetHeaderParamValue(lines, "Content-ID", "name"), "");
}

}  // namespace
}  // namespace qb
