#include "screening/FileNames.h"

#include <cstdint>
#include <cstdio>

namespace qb {

std::string NameHash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

std::string BoundedName(std::string_view text, std::size_t limit) {
  constexpr std::size_t kTail = 17;  // "~" and the hash
  if (text.size() <= limit || limit <= kTail) return std::string(text);
  return std::string(text.substr(0, limit - kTail)) + "~" + NameHash(text);
}

}  // namespace qb
