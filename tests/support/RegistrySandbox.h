// A test fixture that gives every test its own folder and its own registry
// store in it, installed as the current store, so that no test reaches the
// user's real configuration. Both are removed afterwards, and a test that
// leaves a key open fails.
//
//   using AccountsTest = RegistrySandbox;
//   TEST_F(AccountsTest, ...) { PutString("Software\\Vendor", "Name", "x"); ... }
#pragma once

#include "platform/Registry.h"
#include "platform/RegistryKeyGuard.h"
#include "support/ScopedInstall.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace qb {

class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<TRegistryStore>(RegistryFile());
    installed_.emplace(InstallRegistry, store_.get());
  }

  void TearDown() override {
    EXPECT_EQ(store_->OpenHandleCount(), 0u) << "a registry key was left open";
    installed_.reset();
  }

  // The test's folder, with a trailing slash.
  const std::string& Folder() const { return folderPath_; }
  std::string RegistryFile() const { return folderPath_ + "registry.reg"; }
  TRegistryStore& Store() { return *store_; }

  // Sets a value under HKEY_CURRENT_USER, creating its key.
  void Put(const std::string& keyPath, const std::string& name, DWORD type,
           const std::string& data) {
    RegistryKeyGuard key = RegistryKeyGuard::Create(HKEY_CURRENT_USER, keyPath, KEY_WRITE);
    ASSERT_TRUE(key.IsOpen()) << keyPath;
    EXPECT_EQ(RegSetValueExA(key.Get(), name.c_str(), type,
                             reinterpret_cast<const unsigned char*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }

  void PutString(const std::string& keyPath, const std::string& name, const std::string& text) {
    Put(keyPath, name, REG_SZ, text + '\0');
  }

  void PutKey(const std::string& keyPath) {
    ASSERT_TRUE(RegistryKeyGuard::Create(HKEY_CURRENT_USER, keyPath, KEY_WRITE).IsOpen())
        << keyPath;
  }

  // The stored bytes of a value under HKEY_CURRENT_USER, and its type.
  std::optional<std::string> Get(const std::string& keyPath, const std::string& name,
                                 DWORD* type = nullptr) {
    RegistryKeyGuard key = RegistryKeyGuard::Open(HKEY_CURRENT_USER, keyPath, KEY_READ);
    if (!key.IsOpen()) return std::nullopt;
    DWORD size = 0;
    std::optional<std::string> data;
    if (RegQueryValueExA(key.Get(), name.c_str(), type, nullptr, &size) == ERROR_SUCCESS) {
      data.emplace(size, '\0');
      RegQueryValueExA(key.Get(), name.c_str(), type,
                       reinterpret_cast<unsigned char*>(data->data()), &size);
    }
    return data;
  }

 private:
  // Declared in this order so that the store goes before its folder.
  test::TempFolder folder_{"qb-registry"};
  std::string folderPath_ = folder_.Path().string() + "/";
  std::unique_ptr<TRegistryStore> store_;
  std::optional<test::ScopedInstall<TRegistryStore>> installed_;
};

}  // namespace qb
