#include "screening/Pop3Command.h"

#include "platform/AsciiText.h"
#include "screening/ScreeningText.h"

namespace qb {

bool TPop3Command::NamesMessage() const {
  return Is("RETR") || Is("TOP") || Is("DELE") || (!Argument.empty() && (Is("LIST") || Is("UIDL")));
}

TPop3Command ParseCommand(std::string_view line) {
  std::string_view text = TrimAsciiSpace(line);
  std::size_t blank = text.find_first_of(" \t");
  TPop3Command command;
  command.Keyword = UpperAscii(text.substr(0, blank));
  if (blank != std::string_view::npos) command.Argument = TrimBlanks(text.substr(blank + 1));
  std::size_t fieldEnd = std::min(command.Argument.find(' '), command.Argument.size());
  command.Number = MessageNumberOf(std::string_view(command.Argument).substr(0, fieldEnd));
  command.AfterNumber = command.Argument.substr(fieldEnd);
  return command;
}

bool HasMultiLineReply(const TPop3Command& command) {
  return command.Is("CAPA") || command.IsBare("LIST") || command.IsBare("UIDL") ||
         command.Is("RETR") || command.Is("TOP") || command.IsBare("AUTH");
}

std::optional<std::int64_t> MessageNumberOf(std::string_view text) {
  std::string_view digits = TrimAsciiSpace(text);
  if (digits.empty() || !IsAsciiDigit(digits.front())) return std::nullopt;
  return ParseWholeNumber(digits);
}

}  // namespace qb
