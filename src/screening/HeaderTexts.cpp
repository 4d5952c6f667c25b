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

std::string AddressPart(const std::string& text) {
  std::size_t open = text.find('<');
  std::size_t close = text.find('>');
  if (open == std::string::npos || close == std::string::npos) return text;
  return close < open ? "" : text.substr(open + 1, close - open - 1);
}

}  // namespace qb
