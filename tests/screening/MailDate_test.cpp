#include "screening/MailDate.h"

#include "support/ProgramEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace qb {
namespace {

// Runs the test body in a POSIX time zone and restores the previous one.
class MailDateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zone_.emplace("TZ", "UTC0");
    tzset();
  }
  void TearDown() override {
    zone_.reset();
    tzset();
  }
  static void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  std::optional<test::ScopedVariable> zone_;
};

TEST_F(MailDateTest, ConvertsTheZoneIntoLocalTime) {
  UseZone("UTC-1");  // one hour ahead of universal time, no daylight saving
  EXPECT_EQ(ReviewDateText("Tue, 10 Jun 2003 09:41:05 +0200"), "2003.06.10 08:41:05");
  EXPECT_EQ(ReviewDateText("10 Jun 2003 09:41:05 -0130"), "2003.06.10 12:11:05");
}

TEST_F(MailDateTest, ATwoDigitYearWithGmtAndNoSeconds) {
  EXPECT_EQ(ReviewDateText("10 Jun 03 09:41 GMT"), "2003.06.10 09:41:00");
  EXPECT_EQ(ReviewDateText("1 Jan 60 00:00:00 GMT"), "1960.01.01 00:00:00");
  UseZone("UTC-1");
  EXPECT_EQ(ReviewDateText("10 Jun 03 09:41 GMT"), "2003.06.10 10:41:00");
}

TEST_F(MailDateTest, AMonthNameIsFoundCaseSensitively) {
  EXPECT_EQ(ReviewDateText("10 JUN 2003 09:41:05 +0000"), "2003.01.10 09:41:05");
  EXPECT_EQ(ReviewDateText("10 Dec 2003 09:41:05 +0000"), "2003.12.10 09:41:05");
  EXPECT_EQ(ReviewDateText("10/06/2003 01:02:03"), "2003.06.10 01:02:03") << "a numeric month";
}

TEST_F(MailDateTest, AnUnusableDateGivesZero) {
  EXPECT_EQ(ParseMailDate(""), 0.0);
  EXPECT_EQ(ParseMailDate("31 Feb 2003 10:00:00 GMT"), 0.0);
  EXPECT_EQ(ParseMailDate("10 Jun 2003 10:00:00 +2500"), 0.0) << "zone hours out of range";
  EXPECT_EQ(ParseMailDate("10 13 2003 10:00:00"), 0.0);
  EXPECT_EQ(ParseMailDate("10 0 2003 10:00:00"), 0.0);
  EXPECT_EQ(FormatDateTime(0.0), "1899.12.30 00:00:00");
}

TEST_F(MailDateTest, AnEmptyMonthFieldFailsTheConversion) {
  EXPECT_EQ(ParseMailDate("Tue, 10  2003"), std::nullopt);
  EXPECT_EQ(ReviewDateText("Tue, 10  2003"), "");
}

TEST_F(MailDateTest, TimeOfDayIsNotRangeChecked) {
  EXPECT_EQ(ReviewDateText("10 Jun 2003 25:00:00 GMT"), "2003.06.11 01:00:00");
  EXPECT_EQ(ReviewDateText("10 Jun 2003 99999999999:00:00 GMT"), "2003.06.10 00:00:00")
      << "an hour beyond the integer range counts as 0";
  EXPECT_EQ(ReviewDateText("10 Jun 2003 2147483647:00:00 GMT"), "") << "beyond the year 9999";
}

TEST_F(MailDateTest, LocalZoneOffsetHonoursTz) {
  UseZone("UTC-1");
  EXPECT_DOUBLE_EQ(LocalZoneOffset(), 1.0 / 24);
  UseZone("EST5");
  EXPECT_DOUBLE_EQ(LocalZoneOffset(), -5.0 / 24);
  UseZone("UTC0");
  EXPECT_DOUBLE_EQ(LocalZoneOffset(), 0.0);
}

TEST(EncodeDateTest, CountsDaysFromTheEndOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2003, 6, 10), 37782.0);
  EXPECT_EQ(EncodeDate(1800, 1, 1), -36522.0);
  EXPECT_TRUE(EncodeDate(2000, 2, 29).has_value());
  EXPECT_FALSE(EncodeDate(1900, 2, 29).has_value());
  EXPECT_FALSE(EncodeDate(0, 1, 1).has_value());
  EXPECT_FALSE(EncodeDate(10000, 1, 1).has_value());
}

TEST(FormatDateTimeTest, FormatsEveryFieldWithTwoDigits) {
  EXPECT_EQ(FormatDateTime(37782.0 + (9 * 3600 + 4 * 60 + 5) / 86400.0), "2003.06.10 09:04:05");
  EXPECT_EQ(FormatDateTime(-36522.0), "1800.01.01 00:00:00");
  EXPECT_EQ(FormatDateTime(*EncodeDate(9999, 12, 31) + 0.5), "9999.12.31 12:00:00");
  EXPECT_EQ(FormatDateTime(*EncodeDate(9999, 12, 31) + 1.0), "");
  EXPECT_EQ(FormatDateTime(1e300), "");
}

}  // namespace
}  // namespace qb
