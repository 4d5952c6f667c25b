// What the screened session needs to know of one line a mail client sends:
// its keyword (POP3 keywords ignore case), its argument, the message number
// that argument begins with (parsed here once, used as a number from then
// on), and whether a positive reply to it is a multi-line listing. The line
// itself is passed on unchanged; this only reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

struct TPop3Command {
  std::string Keyword;   // the first word in capitals: "RETR" for "retr 3"
  std::string Argument;  // the rest of the line, without blanks and line end at either end
  // The argument's first field as a message number ("3" of "TOP 03 10");
  // nullopt when there is none or it is no number.
  std::optional<std::int64_t> Number;
  std::string AfterNumber;  // the argument after its first field: " 10" of "TOP 3 10"

  bool Is(std::string_view keyword) const { return Keyword == keyword; }
  // The command without an argument, such as a bare "LIST".
  bool IsBare(std::string_view keyword) const { return Is(keyword) && Argument.empty(); }
  // RETR, TOP, DELE, LIST n and UIDL n: the command names one message.
  bool NamesMessage() const;
};

TPop3Command ParseCommand(std::string_view line);

// CAPA, a bare LIST, a bare UIDL, RETR, TOP and a bare AUTH are answered
// with a listing when the server says "+OK"; everything else with one line.
bool HasMultiLineReply(const TPop3Command& command);

// A message number written in decimal ("3", "03", " 3 "), compared as a
// number; nullopt for anything else (empty, a sign, letters, too large).
std::optional<std::int64_t> MessageNumberOf(std::string_view text);

}  // namespace qb
