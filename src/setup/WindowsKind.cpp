#include "setup/WindowsKind.h"

#include <utility>

namespace qb {

namespace {

constexpr int kOlderWindows = 0;
constexpr int kOtherPlatform = 7;

std::optional<TOsVersionInfo>& Injected() {
  static std::optional<TOsVersionInfo> version;
  return version;
}

int NineXKind(std::uint32_t major, std::uint32_t minor) {
  if (major != 4) return kOlderWindows;
  if (minor == 0) return 1;
  if (minor < 90) return 2;
  if (minor == 90) return 3;
  return kOtherPlatform;
}

int NtKind(std::uint32_t major, std::uint32_t minor) {
  if (major < 4) return kOlderWindows;
  if (major == 4) return 4;
  if (major == 5 && minor == 0) return 5;
  if (major == 5 && minor == 1) return 6;
  return kOtherPlatform;
}

}  // namespace

int WindowsKindOf(const std::optional<TOsVersionInfo>& version) {
  if (!version) return kOtherPlatform;
  switch (version->platformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
      return NineXKind(version->majorVersion, version->minorVersion);
    case VER_PLATFORM_WIN32_NT:
      return NtKind(version->majorVersion, version->minorVersion);
    default:
      return kOtherPlatform;
  }
}

int GetWindowsKind() {
  return WindowsKindOf(Injected());
}

std::optional<TOsVersionInfo> InjectOsVersion(std::optional<TOsVersionInfo> version) {
  return std::exchange(Injected(), version);
}

}  // namespace qb
