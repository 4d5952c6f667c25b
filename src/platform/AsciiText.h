// Byte-string helpers for wire and list-file texts. Case folding touches only
// ASCII letters; nothing here depends on the locale.
#pragma once

#include <string>
#include <string_view>

namespace qb {

char LowerAsciiChar(char c);
char UpperAsciiChar(char c);
bool IsAsciiDigit(char c);

// Removes leading and trailing control characters and blanks (bytes <= 32).
std::string TrimBlanks(std::string_view text);
std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
// The text without leading and trailing blanks, tabs, CR and LF (a view into it).
std::string_view TrimAsciiSpace(std::string_view text);

// The k-th field (from 0) of the text split at `separator`; empty beyond the
// last field.
std::string SplitField(std::string_view text, char separator, int k);

}  // namespace qb
