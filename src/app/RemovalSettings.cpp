#include "app/RemovalSettings.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "app/ProgramSettings.h"
#include "platform/Registry.h"
#include "platform/RegistryKeyGuard.h"
#include "screening/ScreeningText.h"

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

// The settings file's value (or its variable's) when it is a number.
std::optional<DWORD> SettingNumber(const char* key) {
  std::optional<std::int64_t> number = ParseWholeNumber(SettingValue(*FindProgramSetting(key)));
  if (!number || *number < 0 || *number > 0xFFFFFFFF) return std::nullopt;
  return static_cast<DWORD>(*number);
}

void Apply(TRemovedMailSettings& settings, std::optional<DWORD> limitKB,
           std::optional<DWORD> days) {
  if (limitKB) settings.CopyLimitBytes = static_cast<std::int64_t>(*limitKB) * 1024;
  if (days) settings.KeepDays = static_cast<int>(std::min<DWORD>(*days, 36500));
}

}  // namespace

// The registry's values, where they are, then the settings file's.
TRemovedMailSettings ReadRemovedMailSettings() {
  TRemovedMailSettings settings;
  RegistryKeyGuard key = RegistryKeyGuard::Open(HKEY_CURRENT_USER, kQuillbrightKey, KEY_READ);
  if (key.IsOpen()) {
    Apply(settings, ReadDword(key.Get(), "RemovedCopyLimitKB"),
          ReadDword(key.Get(), "RemovedKeepDays"));
  }
  Apply(settings, SettingNumber("removed-copy-limit-kb"), SettingNumber("removed-keep-days"));
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
