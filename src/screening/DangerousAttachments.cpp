#include "screening/DangerousAttachments.h"

#include "platform/AsciiText.h"

namespace qb {

bool EndsWithDangerousEnding(std::string_view name, std::string_view entry) {
  entry = TrimAsciiSpace(entry);
  while (!name.empty() && (name.back() == '.' || name.back() == ' ' || name.back() == '\t')) {
    name.remove_suffix(1);
  }
  return !entry.empty() && name.size() >= entry.size() &&
         EqualsIgnoringAsciiCase(name.substr(name.size() - entry.size()), entry);
}

const std::string* FirstDangerousEnding(const TextLines& entries, const TextLines& names) {
  for (const std::string& entry : entries) {
    for (const std::string& name : names) {
      if (EndsWithDangerousEnding(name, entry)) return &entry;
    }
  }
  return nullptr;
}

}  // namespace qb
