#include "platform/AsciiText.h"

#include <algorithm>

namespace qb {

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

char LowerAsciiChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char UpperAsciiChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string LowerAscii(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), LowerAsciiChar);
  return result;
}

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), UpperAsciiChar);
  return result;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAsciiChar(x) == LowerAsciiChar(y);
         });
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimAsciiSpace(std::string_view text) {
  constexpr std::string_view space = " \t\r\n";
  std::size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(space);
  return text.substr(first, last - first + 1);
}

std::string SplitField(std::string_view text, char separator, int k) {
  for (int field = 0; field < k; ++field) {
    std::size_t at = text.find(separator);
    if (at == std::string_view::npos) return "";
    text.remove_prefix(at + 1);
  }
  return std::string(text.substr(0, text.find(separator)));
}

}  // namespace qb
