// Date-time values as day counts from 30 December 1899 00:00, the fraction
// being the time of day, and the conversion of a mail Date field into one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

using DateTime = double;

// The calendar date as a day count; nullopt when it is not a valid date of
// the years 1 to 9999.
std::optional<DateTime> EncodeDate(long long year, long long month, long long day);

// The Date field's text as a local date-time, 0 when the text is not usable,
// and nullopt when the conversion fails outright (an empty month field):
// the review list then shows no date at all.
std::optional<DateTime> ParseMailDate(std::string_view text);

// The machine's offset from universal time in days, from the C library's
// local time rules at this moment (TZ honoured); 0 when they say nothing.
DateTime LocalZoneOffset();

// "yyyy.mm.dd hh:nn:ss"; empty when the value lies outside the years 1 to 9999.
std::string FormatDateTime(DateTime value);

// What the review list shows for a Date field: its conversion, formatted;
// empty when the conversion or the formatting fails.
std::string ReviewDateText(std::string_view dateField);

}  // namespace qb
