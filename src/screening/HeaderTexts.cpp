#include "screening/HeaderTexts.h"

#include "screening/EncodedWords.h"
#include "screening/HeaderFields.h"

namespace qb {

std::string WithoutLineBreaks(std::string text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
  return text;
}

std::string DecodedHeader(const TextLines& lines, std::string_view name) {
  return WithoutLineBreaks(DecodeEncodedWords(GetHeaderValue(lines, name)));
}

std::string DecodedSubject(const TextLines& lines) {
  return WithoutLineBreaks(DecodeEncodedWords(FieldText(lines, "Subject")));
}

std::string AddressPart(const std::string& text) {
  std::size_t open = text.find('<');
  std::size_t close = text.find('>');
  if (open == std::string::npos || close == std::string::npos) return text;
  return close < open ? "" : text.substr(open + 1, close - open - 1);
}

std::string DisplayNamePart(const std::string& text) {
  std::size_t open = text.find('<');
  std::string name;
  if (open != std::string::npos) {
    name = TrimBlanks(std::string_view(text).substr(0, open));
  } else if (std::size_t left = text.find('('); left != std::string::npos) {
    std::size_t right = text.find(')', left);
    if (right != std::string::npos) name = TrimBlanks(text.substr(left + 1, right - left - 1));
  }
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = TrimBlanks(std::string_view(name).substr(1, name.size() - 2));
  }
  return name;
}

}  // namespace qb
