// The small registry access layer of the account operations. A value path is
// a key path, a backslash and a value name (empty: the key's default value);
// a path without a backslash fails at once, without touching the registry.
#pragma once

#include "platform/Registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// The 1-based position of the last `c` in `s`, or 0.
std::size_t LastIndexOfChar(char c, std::string_view s);

// Sets the value, creating its key when missing. Whether it was set.
bool RegWriteValue(HKEY root, std::string_view path, DWORD type, const unsigned char* data,
                   DWORD size);
// A REG_SZ value: the text and its terminating NUL.
bool RegWriteString(HKEY root, std::string_view path, std::string_view text);
// The text of a REG_SZ value (its data less the terminating NUL); nullopt when
// the key or value is missing or the value is of another type.
std::optional<std::string> RegReadString(HKEY root, std::string_view path);

// The names of an open key's subkeys (or values), up to the first one that
// does not fit a buffer of `bufferSize` characters (NUL included).
std::vector<std::string> EnumerateNames(HKEY key, bool valueNames, DWORD bufferSize);

// The names of the key's subkeys (or values) joined with CR LF, in the order
// the registry enumerates them; nullopt when the key cannot be opened.
std::optional<std::string> RegEnumNames(HKEY root, std::string_view keyPath, bool valueNames);
std::optional<std::string> RegEnumSubKeys(HKEY root, std::string_view keyPath);

}  // namespace qb
