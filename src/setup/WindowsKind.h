// Which family of Windows the program runs on, from the operating system's
// version information. It picks the header of a new account backup file.
// This system has no Windows version, so it counts as "any other platform"
// unless a version is injected (tests do that).
#pragma once

#include <cstdint>
#include <optional>

namespace qb {

constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;  // the 9x family
constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

struct TOsVersionInfo {
  std::uint32_t platformId = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
};

// 0 to 7: 1 Windows 95, 2 Windows 98, 3 Windows Me, 4 NT 4, 5 Windows 2000,
// 6 Windows XP, 0 older versions, 7 anything newer or unknown.
int WindowsKindOf(const std::optional<TOsVersionInfo>& version);

// WindowsKindOf the injected version, or of none.
int GetWindowsKind();

// Makes GetWindowsKind report `version`; returns the version injected before.
std::optional<TOsVersionInfo> InjectOsVersion(std::optional<TOsVersionInfo> version);

}  // namespace qb
