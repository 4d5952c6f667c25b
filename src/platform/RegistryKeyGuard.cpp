#include "platform/RegistryKeyGuard.h"

#include <utility>

namespace qb {

RegistryKeyGuard::RegistryKeyGuard(RegistryKeyGuard&& other) noexcept
    : key_(std::exchange(other.key_, 0)) {}

RegistryKeyGuard& RegistryKeyGuard::operator=(RegistryKeyGuard&& other) noexcept {
  if (this != &other) {
    Close();
    key_ = std::exchange(other.key_, 0);
  }
  return *this;
}

RegistryKeyGuard RegistryKeyGuard::Open(HKEY root, const std::string& subKey, DWORD access) {
  HKEY key = 0;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) return {};
  return RegistryKeyGuard(key);
}

RegistryKeyGuard RegistryKeyGuard::Create(HKEY root, const std::string& subKey, DWORD access) {
  HKEY key = 0;
  if (RegCreateKeyExA(root, subKey.c_str(), REG_OPTION_NON_VOLATILE, access, &key, nullptr) !=
      ERROR_SUCCESS) {
    return {};
  }
  return RegistryKeyGuard(key);
}

void RegistryKeyGuard::Close() {
  if (IsOpen() && !IsPredefinedKey(key_)) RegCloseKey(key_);
  key_ = 0;
}

}  // namespace qb
