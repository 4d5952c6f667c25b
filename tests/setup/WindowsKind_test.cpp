#include "setup/WindowsKind.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

int KindOf(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
  return WindowsKindOf(TOsVersionInfo{platform, major, minor});
}

TEST(WindowsKind, FollowsThePlatformAndVersionTable) {
  const std::uint32_t nineX = VER_PLATFORM_WIN32_WINDOWS;
  const std::uint32_t nt = VER_PLATFORM_WIN32_NT;
  EXPECT_EQ(KindOf(nineX, 3, 95), 0);
  EXPECT_EQ(KindOf(nineX, 4, 0), 1);
  EXPECT_EQ(KindOf(nineX, 4, 10), 2);
  EXPECT_EQ(KindOf(nineX, 4, 89), 2);
  EXPECT_EQ(KindOf(nineX, 4, 90), 3);
  EXPECT_EQ(KindOf(nineX, 4, 91), 7);
  EXPECT_EQ(KindOf(nt, 3, 51), 0);
  EXPECT_EQ(KindOf(nt, 4, 0), 4);
  EXPECT_EQ(KindOf(nt, 5, 0), 5);
  EXPECT_EQ(KindOf(nt, 5, 1), 6);
  EXPECT_EQ(KindOf(nt, 5, 2), 7);
  EXPECT_EQ(KindOf(nt, 6, 0), 7);
  EXPECT_EQ(KindOf(0, 5, 1), 7);
}

TEST(WindowsKind, ThisSystemIsAnyOtherPlatformUnlessAVersionIsInjected) {
  EXPECT_EQ(GetWindowsKind(), 7);
  auto previous = InjectOsVersion(TOsVersionInfo{VER_PLATFORM_WIN32_NT, 5, 1});
  EXPECT_EQ(GetWindowsKind(), 6);
  InjectOsVersion(previous);
  EXPECT_EQ(GetWindowsKind(), 7);
}

}  // namespace
}  // namespace qb
