#include "support/Pop3Text.h"

namespace qb::test {

std::vector<std::string_view> CommandWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t position = 0;
  while (position < line.size()) {
    std::size_t start = line.find_first_not_of(' ', position);
    if (start == std::string_view::npos) break;
    std::size_t end = line.find(' ', start);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    position = end;
  }
  return words;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool CommandMatches(std::string_view line, std::string_view pattern) {
  std::vector<std::string_view> lineWords = CommandWords(line);
  std::vector<std::string_view> patternWords = CommandWords(pattern);
  if (patternWords.empty() || patternWords.size() > lineWords.size()) return false;
  if (UpperAscii(lineWords[0]) != UpperAscii(patternWords[0])) return false;
  for (std::size_t i = 1; i < patternWords.size(); ++i) {
    if (lineWords[i] != patternWords[i]) return false;
  }
  return true;
}

std::string DotStuffedBody(std::string_view text) {
  std::string body;
  body.reserve(text.size() + text.size() / 64 + 5);
  bool atLineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (atLineStart && text[i] == '.') body += '.';
    body += text[i];
    atLineStart = text[i] == '\n' && i > 0 && text[i - 1] == '\r';
  }
  if (!text.empty() && !text.ends_with("\r\n")) body += "\r\n";
  body += ".\r\n";
  return body;
}

std::optional<std::size_t> ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

}  // namespace qb::test
