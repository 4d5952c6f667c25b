// Owns a key handle of the registry stand-in and closes it with RegCloseKey
// when it goes, so that an early return or an exception cannot leave a key
// open. Move-only; a moved-from guard holds nothing and closes nothing. A
// predefined root key (HKEY_CURRENT_USER...) is held but never closed.
//
//   RegistryKeyGuard key = RegistryKeyGuard::Open(HKEY_CURRENT_USER, path, KEY_READ);
//   if (!key.IsOpen()) return std::nullopt;
//   RegQueryValueExA(key.Get(), name, &type, nullptr, &size);
#pragma once

#include "platform/Registry.h"

#include <string>

namespace qb {

class RegistryKeyGuard {
 public:
  RegistryKeyGuard() = default;
  explicit RegistryKeyGuard(HKEY key) : key_(key) {}
  RegistryKeyGuard(RegistryKeyGuard&& other) noexcept;
  RegistryKeyGuard& operator=(RegistryKeyGuard&& other) noexcept;
  RegistryKeyGuard(const RegistryKeyGuard&) = delete;
  RegistryKeyGuard& operator=(const RegistryKeyGuard&) = delete;
  ~RegistryKeyGuard() { Close(); }

  // RegOpenKeyExA / RegCreateKeyExA (non-volatile); not open when they fail.
  static RegistryKeyGuard Open(HKEY root, const std::string& subKey, DWORD access);
  static RegistryKeyGuard Create(HKEY root, const std::string& subKey, DWORD access);

  bool IsOpen() const { return key_ != 0; }
  HKEY Get() const { return key_; }

 private:
  void Close();

  HKEY key_ = 0;
};

}  // namespace qb
