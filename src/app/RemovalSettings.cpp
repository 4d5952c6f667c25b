#include "app/RemovalSettings.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "platform/Registry.h"
#include "platform/RegistryKeyGuard.h"

namespace qb {

namespace {

std::optional<DWORD> ReadDword(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, &type, reinterpret_cast<unsigned char*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

TRemovedMailSettings ReadRemovedMailSettings() {
  TRemovedMailSettings settings;
  RegistryKeyGuard key = RegistryKeyGuard::Open(HKEY_CURRENT_USER, kQuillbrightKey, KEY_READ);
  if (!key.IsOpen()) return settings;
  if (std::optional<DWORD> limit = ReadDword(key.Get(), "RemovedCopyLimitKB")) {
    settings.CopyLimitBytes = static_cast<std::int64_t>(*limit) * 1024;
  }
  if (std::optional<DWORD> days = ReadDword(key.Get(), "RemovedKeepDays")) {
    settings.KeepDays = static_cast<int>(std::min<DWORD>(*days, 36500));
  }
  return settings;
}

void RemoveExpiredCopies(const std::string& programFolder, const TRemovedMailSettings& settings) {
  int removed = RemoveOldCopies(programFolder + kRemovedFolder, settings.KeepDays,
                                std::chrono::system_clock::now());
  if (removed > 0) {
    std::cerr << "quillbright: removed " << removed << " copies of removed mail older than "
              << settings.KeepDays << " days\n";
  }
}

}  // namespace qb
