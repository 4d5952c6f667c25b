#include "screening/MailDate.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "screening/ScreeningText.h"

namespace qb {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr std::string_view kMonthNames = "Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec,";

enum DateField { kDay = 1, kMonth, kYear, kHour, kMinute, kSecond, kZone, kFieldCount };

constexpr std::array<int, 12> kDaysInMonth = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr bool IsLeapYear(long long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int DaysInMonth(long long year, long long month) {
  return month == 2 && IsLeapYear(year) ? 29 : kDaysInMonth[static_cast<std::size_t>(month - 1)];
}

// Days from 1 January of year 0 (proleptic Gregorian calendar) to the date.
constexpr long long DayNumber(long long year, long long month, long long day) {
  long long days = day - 1;
  for (long long m = 1; m < month; ++m) days += DaysInMonth(year, m);
  long long y = year - 1;
  return days + 366 + y * 365 + y / 4 - y / 100 + y / 400;
}

constexpr long long kEpochDayNumber = DayNumber(1899, 12, 30);

// A whole number in the 32-bit range, else 0.
long long WholeNumberOrZero(std::string_view text) {
  std::optional<std::int64_t> value = ParseWholeNumber(text);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max()) {
    return 0;
  }
  return *value;
}

// Splits the Date text into its numbered fields (see ParseMailDate).
std::array<std::string, kFieldCount> SplitDateFields(std::string_view text) {
  std::array<std::string, kFieldCount> fields;
  std::size_t field = IsAsciiDigit(text.front()) ? 1 : 0;
  for (char c : text) {
    if (c == ' ' || c == '/' || c == ':') {
      field = (c == ' ' && field == kMinute) ? std::size_t{kZone} : field + 1;
    } else if (field < kFieldCount) {
      fields[field] += c;
    }
  }
  return fields;
}

long long MonthOf(const std::string& monthField) {
  if (IsAsciiDigit(monthField.front())) return WholeNumberOrZero(monthField);
  std::size_t found = kMonthNames.find(monthField);
  long long position = found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
  return (position - 1) / 4 + 1;
}

// The zone's offset from universal time in days; nullopt when its hours or
// minutes are out of range.
std::optional<double> ZoneOffset(const std::string& zoneField) {
  std::string zone = TrimBlanks(zoneField);
  if (zoneField == "GMT" || zone.size() != 5) return 0.0;
  int sign = zone[0] == '-' ? -1 : 1;
  long long hours = WholeNumberOrZero(zone.substr(1, 2));
  long long minutes = WholeNumberOrZero(zone.substr(3, 2));
  if (hours > 23 || minutes > 59) return std::nullopt;
  return sign * (hours * 60 + minutes) / 1440.0;
}

long long ExpandTwoDigitYear(long long year) {
  if (year >= 100) return year;
  return year + (year >= 50 ? 1900 : 2000);
}

// Splits a day count into its calendar date; false outside the years 1 to 9999.
bool DecodeDate(long long dayCount, long long& year, long long& month, long long& day) {
  long long dayNumber = dayCount + kEpochDayNumber;
  if (dayNumber < 366 || dayNumber >= DayNumber(10000, 1, 1)) return false;
  year = (dayNumber - 366) * 400 / 146097 + 1;
  while (DayNumber(year + 1, 1, 1) <= dayNumber) ++year;
  while (DayNumber(year, 1, 1) > dayNumber) --year;
  month = 1;
  while (month < 12 && DayNumber(year, month + 1, 1) <= dayNumber) ++month;
  day = dayNumber - DayNumber(year, month, 1) + 1;
  return true;
}

}  // namespace

std::optional<DateTime> EncodeDate(long long year, long long month, long long day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  return static_cast<DateTime>(DayNumber(year, month, day) - kEpochDayNumber);
}

std::optional<DateTime> ParseMailDate(std::string_view text) {
  if (text.empty()) return 0.0;
  std::array<std::string, kFieldCount> fields = SplitDateFields(text);
  if (fields[kMonth].empty()) return std::nullopt;
  long long month = MonthOf(fields[kMonth]);
  long long year = ExpandTwoDigitYear(WholeNumberOrZero(fields[kYear]));
  if (month == 0) return 0.0;
  std::optional<double> zone = ZoneOffset(fields[kZone]);
  std::optional<DateTime> date = EncodeDate(year, month, WholeNumberOrZero(fields[kDay]));
  if (!zone || !date) return 0.0;
  double seconds = static_cast<double>(WholeNumberOrZero(fields[kHour]) * 3600 +
                                       WholeNumberOrZero(fields[kMinute]) * 60 +
                                       WholeNumberOrZero(fields[kSecond]));
  return *date + seconds / kSecondsPerDay - *zone + LocalZoneOffset();
}

// The system's rules are read (tzset stats the zone file) at most once a
// minute, and again at once when the TZ variable changes; a scan formats
// one date per message.
DateTime LocalZoneOffset() {
  using Clock = std::chrono::steady_clock;
  struct Cached {
    std::optional<Clock::time_point> ReadAt;
    std::optional<std::string> Tz;
    DateTime Offset = 0.0;
  };
  thread_local Cached cached;
  const char* tz = std::getenv("TZ");
  std::optional<std::string> tzNow = tz ? std::optional<std::string>(tz) : std::nullopt;
  Clock::time_point now = Clock::now();
  if (cached.ReadAt && now - *cached.ReadAt < std::chrono::minutes(1) && cached.Tz == tzNow)
    return cached.Offset;
  tzset();
  std::time_t wall = std::time(nullptr);
  std::tm local{};
  bool known = localtime_r(&wall, &local) != nullptr && local.tm_isdst >= 0;
  cached = {now, tzNow, known ? static_cast<double>(local.tm_gmtoff) / kSecondsPerDay : 0.0};
  return cached.Offset;
}

std::string FormatDateTime(DateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 4.0e6) return std::string();
  auto totalSeconds = static_cast<long long>(std::llround(value * kSecondsPerDay));
  long long dayCount =
      totalSeconds >= 0 ? totalSeconds / 86400 : -((-totalSeconds + 86399) / 86400);
  long long secondOfDay = totalSeconds - dayCount * 86400;
  long long year = 0, month = 0, day = 0;
  if (!DecodeDate(dayCount, year, month, day)) return std::string();
  char text[96];
  std::snprintf(text, sizeof text, "%04lld.%02lld.%02lld %02lld:%02lld:%02lld", year, month, day,
                secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
  return text;
}

std::string ReviewDateText(std::string_view dateField) {
  std::optional<DateTime> value = ParseMailDate(dateField);
  return value ? FormatDateTime(*value) : std::string();
}

}  // namespace qb
