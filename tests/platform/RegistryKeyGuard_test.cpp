#include "platform/RegistryKeyGuard.h"

#include "support/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace qb {
namespace {

using RegistryKeyGuardTest = RegistrySandbox;

constexpr const char* kKey = "Software\\Quillbright Guard";

// Whether `key` is still a handle the store knows.
bool IsLive(HKEY key) {
  DWORD size = 0;
  return RegQueryValueExA(key, "missing", nullptr, nullptr, &size) != ERROR_INVALID_HANDLE;
}

TEST_F(RegistryKeyGuardTest, ClosesItsKeyOnceAndAMovedFromGuardClosesNothing) {
  std::optional<RegistryKeyGuard> source;
  source.emplace(RegistryKeyGuard::Create(HKEY_CURRENT_USER, kKey, KEY_WRITE));
  ASSERT_TRUE(source->IsOpen());
  const HKEY handle = source->Get();
  {
    RegistryKeyGuard owner = std::move(*source);
    EXPECT_FALSE(source->IsOpen());
    EXPECT_EQ(owner.Get(), handle);
    source.reset();
    EXPECT_TRUE(IsLive(handle)) << "the moved-from guard closed the key";
    EXPECT_EQ(Store().OpenHandleCount(), 1u);
  }
  EXPECT_FALSE(IsLive(handle)) << "the owner did not close the key";
  EXPECT_EQ(Store().OpenHandleCount(), 0u);
}

TEST_F(RegistryKeyGuardTest, AssigningOverAnOpenGuardClosesTheKeyItHeld) {
  PutKey(kKey);
  RegistryKeyGuard first = RegistryKeyGuard::Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  RegistryKeyGuard second = RegistryKeyGuard::Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  ASSERT_TRUE(first.IsOpen() && second.IsOpen());
  HKEY replaced = first.Get();
  first = std::move(second);
  EXPECT_FALSE(IsLive(replaced));
  EXPECT_TRUE(IsLive(first.Get()));
  EXPECT_EQ(Store().OpenHandleCount(), 1u);
}

TEST_F(RegistryKeyGuardTest, AFailedOpenHoldsNothing) {
  RegistryKeyGuard missing = RegistryKeyGuard::Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(Store().OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace qb
