// Small text helpers for the POP3 test support: command words, command
// patterns and the multi-line reply body of RFC 1939.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::test {

// The blank-separated words of a command line (runs of blanks count as one).
std::vector<std::string_view> CommandWords(std::string_view line);

// ASCII upper case, for POP3 keywords.
std::string UpperAscii(std::string_view text);

// Whether `line` matches `pattern` word by word: the keyword ignores case,
// the arguments compare exactly, and a pattern may stop early. "TOP" matches
// every TOP command, "TOP 2" matches "TOP 2 0" but not "TOP 20 0".
bool CommandMatches(std::string_view line, std::string_view pattern);

// The body of a multi-line reply: every line that begins with "." gets a
// second ".", a missing final CR LF is added, and the terminating "." CR LF
// follows.
std::string DotStuffedBody(std::string_view text);

// A message number or line count: decimal digits only.
std::optional<std::size_t> ParseCount(std::string_view text);

}  // namespace qb::test
