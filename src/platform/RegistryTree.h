// The registry's data in memory: keys with typed values and subkeys. Key and
// value names are compared without regard to the case of ASCII letters, and
// keep the case they were created with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct RegistryValue {
  std::string name;  // "" is the key's default (unnamed) value
  std::uint32_t type = 0;
  std::string data;  // the stored bytes; their count is the value's size
};

struct RegistryKey {
  std::string name;
  std::vector<RegistryValue> values;  // in the order they were first set
  std::vector<RegistryKey> subkeys;   // sorted by name, ignoring case

  RegistryKey* FindSubkey(std::string_view subkeyName);
  const RegistryKey* FindSubkey(std::string_view subkeyName) const;
  // The subkey of that name, created when missing.
  RegistryKey& AddSubkey(std::string_view subkeyName);

  const RegistryValue* FindValue(std::string_view valueName) const;
  void SetValue(std::string_view valueName, std::uint32_t type, std::string data);
  void RemoveValue(std::string_view valueName);
};

bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// The names of a backslash-separated key path. "" gives no names; a trailing
// backslash is ignored; an empty name inside the path (a leading backslash or
// two in a row) makes the path invalid.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

}  // namespace qb
