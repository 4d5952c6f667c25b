// The attachment rule of the virus check: a file name that ends in one of
// the endings of attlist.txt (".exe", ".scr", ".pdf.exe", ...), ignoring
// case, makes its message a possible virus whatever its size or sender.
#pragma once

#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

// Whether the name ends with the entry, ignoring the case of a to z, once
// the blanks and dots at the end of the name are dropped (Windows drops them
// when it saves "invoice.exe." or "invoice.exe  "). A blank entry matches
// nothing.
bool EndsWithDangerousEnding(std::string_view name, std::string_view entry);

// The first entry, in list order, that some name ends with; nullptr if none.
const std::string* FirstDangerousEnding(const TextLines& entries, const TextLines& names);

}  // namespace qb
