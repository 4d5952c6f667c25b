// The texts a review row and a log line show of a message header: a field's
// value with its encoded words decoded and without line breaks, the subject
// read whole, and the address and display-name parts of a From or To text.
#pragma once

#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

// A decoded header may hold CR, LF or NUL (an encoded word can carry them);
// a row never does, so a block action cannot write a line break into a list.
std::string WithoutLineBreaks(std::string text);

// The field's value, decoded and without line breaks; empty when absent.
std::string DecodedHeader(const TextLines& lines, std::string_view name);

// The whole subject (semicolons and folded lines included), decoded and
// without line breaks; empty when absent.
std::string DecodedSubject(const TextLines& lines);

// Only the address, when the text holds a display name and "<address>".
std::string AddressPart(const std::string& text);

// The display name of a From or To text, without its quotes: what stands
// before "<address>", or the comment in parentheses after a bare address;
// empty when there is none.
std::string DisplayNamePart(const std::string& text);

}  // namespace qb
