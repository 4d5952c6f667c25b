// Bounded file names. Names made from an account text or a UID would grow
// with them past what a file system takes (255 bytes a name); a long one
// keeps a readable prefix and a hash of the whole, so it still names one
// account or one message, and a short one stays as it always was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// The longest part of a file name made from one account text or one UID.
inline constexpr std::size_t kNamePartLimit = 100;

// A 64-bit FNV-1a hash of the bytes as 16 lower-case hex digits.
std::string NameHash(std::string_view text);

// The text itself when it has at most `limit` bytes; else its first bytes,
// "~" and NameHash of the whole, `limit` bytes in all.
std::string BoundedName(std::string_view text, std::size_t limit = kNamePartLimit);

}  // namespace qb
