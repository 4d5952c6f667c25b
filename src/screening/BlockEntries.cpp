#include "screening/BlockEntries.h"

namespace qb {

namespace {

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace

bool IsUsableBlockEntry(std::string_view entry) {
  return TrimAsciiSpace(entry).size() >= kShortestBlockEntry;
}

TextLines UsableBlockEntries(const TextLines& entries, TextLines& ignored) {
  TextLines usable;
  for (const std::string& entry : entries) {
    if (IsUsableBlockEntry(entry)) {
      usable.push_back(entry);
    } else if (!entry.empty()) {
      ignored.push_back(entry);
    }
  }
  return usable;
}

std::string IgnoredEntriesText(std::string_view listName, const TextLines& ignored) {
  std::string text = std::string(listName) + ": entries shorter than " +
                     std::to_string(kShortestBlockEntry) + " characters are ignored: ";
  for (std::size_t k = 0; k < ignored.size(); ++k) text += (k ? ", " : "") + Quoted(ignored[k]);
  return text;
}

std::string RefusedEntryText(std::string_view listName, std::string_view entry) {
  return Quoted(entry) + " is not added to " + std::string(listName) +
         ": an entry needs at least " + std::to_string(kShortestBlockEntry) +
         " characters besides blanks.";
}

}  // namespace qb
