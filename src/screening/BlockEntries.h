// Which entries of a list that ticks messages (the virus list and the three
// block lists) are used: an entry of fewer than three characters once its
// blanks are trimmed would match a great part of all mail as a prefix, so
// it is refused where a list is written and ignored where one is read.
#pragma once

#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

inline constexpr std::size_t kShortestBlockEntry = 3;

bool IsUsableBlockEntry(std::string_view entry);

// The usable entries, in order; the others, but for empty lines (which
// never match), go to `ignored`.
TextLines UsableBlockEntries(const TextLines& entries, TextLines& ignored);

// The user's texts: the entries a list file holds that are not used, and
// an entry refused for a list.
std::string IgnoredEntriesText(std::string_view listName, const TextLines& ignored);
std::string RefusedEntryText(std::string_view listName, std::string_view entry);

}  // namespace qb
