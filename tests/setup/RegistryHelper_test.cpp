#include "setup/RegistryHelper.h"

#include "support/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qb {
namespace {

using RegistryHelperTest = RegistrySandbox;

TEST(LastIndexOfChar, CountsFromOneAndGivesZeroWhenAbsent) {
  EXPECT_EQ(LastIndexOfChar('\\', "a\\b\\c"), 4u);
  EXPECT_EQ(LastIndexOfChar('\\', "\\"), 1u);
  EXPECT_EQ(LastIndexOfChar('\\', "abc"), 0u);
  EXPECT_EQ(LastIndexOfChar('\\', ""), 0u);
}

TEST_F(RegistryHelperTest, WritesAStringWithItsNulCreatingTheKey) {
  ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\New\\Key\\Name", "text"));
  DWORD type = 0;
  EXPECT_EQ(Get("Software\\New\\Key", "Name", &type), std::string("text\0", 5));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "software\\new\\key\\NAME"), "text");
}

TEST_F(RegistryHelperTest, AnEmptyValueNameIsTheDefaultValue) {
  ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\Key\\", "default"));
  EXPECT_EQ(Get("Software\\Key", ""), std::string("default\0", 8));
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Software\\Key\\"), "default");
}

TEST_F(RegistryHelperTest, APathWithoutABackslashFailsWithoutTouchingTheRegistry) {
  EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, "NoBackslash", "x"));
  EXPECT_FALSE(std::filesystem::exists(RegistryFile()));
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "NoBackslash"), std::nullopt);
}

TEST_F(RegistryHelperTest, ReadsOnlyStringValues) {
  Put("Software\\Key", "Number", REG_DWORD, std::string(4, '\0'));
  Put("Software\\Key", "Empty", REG_SZ, "");
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Software\\Key\\Number"), std::nullopt);
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Software\\Key\\Missing"), std::nullopt);
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Software\\Nowhere\\Name"), std::nullopt);
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Software\\Key\\Empty"), "");
}

TEST_F(RegistryHelperTest, SubkeyNamesAreJoinedWithCrLf) {
  PutKey("Software\\Key\\One");
  PutKey("Software\\Key\\Two");
  PutKey("Software\\Empty");
  PutString("Software\\Key", "Value", "x");
  EXPECT_EQ(RegEnumSubKeys(HKEY_CURRENT_USER, "Software\\Key"), "One\r\nTwo");
  EXPECT_EQ(RegEnumNames(HKEY_CURRENT_USER, "Software\\Key", true), "Value");
  EXPECT_EQ(RegEnumSubKeys(HKEY_CURRENT_USER, "Software\\Empty"), "")
      << "a key without subkeys still counts as opened";
  EXPECT_EQ(RegEnumSubKeys(HKEY_CURRENT_USER, "Software\\Nowhere"), std::nullopt);
}

}  // namespace
}  // namespace qb
