// Byte-string helpers of the screening code, beside the common ones of
// platform/AsciiText.h. Case folding touches only the ASCII letters; nothing
// here depends on the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AsciiText.h"

namespace qb {

using TextLines = std::vector<std::string>;

// <0, 0, >0 like strcmp, with A-Z equal to a-z and other bytes by their
// unsigned values.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// A whole decimal number with an optional sign, or nullopt when the text is
// anything else (empty, other characters, out of the 64-bit range).
std::optional<std::int64_t> ParseWholeNumber(std::string_view text);

}  // namespace qb
