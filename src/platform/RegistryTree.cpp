#include "platform/RegistryTree.h"

#include <algorithm>

namespace qb {

namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NameLessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
  });
}

template <typename Keys>
auto LowerBound(Keys& keys, std::string_view name) {
  return std::lower_bound(keys.begin(), keys.end(), name,
                          [](const RegistryKey& key, std::string_view wanted) {
                            return NameLessIgnoringCase(key.name, wanted);
                          });
}

}  // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

RegistryKey* RegistryKey::FindSubkey(std::string_view subkeyName) {
  auto it = LowerBound(subkeys, subkeyName);
  return (it != subkeys.end() && SameNameIgnoringCase(it->name, subkeyName)) ? &*it : nullptr;
}

const RegistryKey* RegistryKey::FindSubkey(std::string_view subkeyName) const {
  return const_cast<RegistryKey*>(this)->FindSubkey(subkeyName);
}

RegistryKey& RegistryKey::AddSubkey(std::string_view subkeyName) {
  auto it = LowerBound(subkeys, subkeyName);
  if (it != subkeys.end() && SameNameIgnoringCase(it->name, subkeyName)) return *it;
  RegistryKey added;
  added.name = std::string(subkeyName);
  return *subkeys.insert(it, std::move(added));
}

const RegistryValue* RegistryKey::FindValue(std::string_view valueName) const {
  auto it = std::find_if(values.begin(), values.end(), [&](const RegistryValue& value) {
    return SameNameIgnoringCase(value.name, valueName);
  });
  return it == values.end() ? nullptr : &*it;
}

void RegistryKey::SetValue(std::string_view valueName, std::uint32_t type, std::string data) {
  auto* existing = const_cast<RegistryValue*>(FindValue(valueName));
  if (existing) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  values.push_back(RegistryValue{std::string(valueName), type, std::move(data)});
}

void RegistryKey::RemoveValue(std::string_view valueName) {
  std::erase_if(values, [&](const RegistryValue& value) {
    return SameNameIgnoringCase(value.name, valueName);
  });
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
  std::vector<std::string> names;
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return names;
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find('\\', start);
    std::string_view name = path.substr(start, end - start);
    if (name.empty()) return std::nullopt;
    names.emplace_back(name);
    if (end == std::string_view::npos) return names;
    start = end + 1;
  }
}

}  // namespace qb
