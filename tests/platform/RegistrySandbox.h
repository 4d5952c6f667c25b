// A test fixture that gives every test its own folder and its own registry
// store in it, installed as the current store, so that no test reaches the
// user's real configuration. Both are removed afterwards.
#pragma once

#include "platform/Registry.h"
#include "support/ScopedInstall.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace qb {

class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qb-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern + "/";
    store_ = std::make_unique<TRegistryStore>(RegistryFile());
    installed_.emplace(InstallRegistry, store_.get());
  }

  void TearDown() override {
    EXPECT_EQ(store_->OpenHandleCount(), 0u) << "a registry key was left open";
    installed_.reset();
    std::filesystem::remove_all(folder_);
  }

  const std::string& Folder() const { return folder_; }
  std::string RegistryFile() const { return folder_ + "registry.reg"; }
  TRegistryStore& Store() { return *store_; }

  // Sets a value under HKEY_CURRENT_USER, creating its key.
  void Put(const std::string& keyPath, const std::string& name, DWORD type,
           const std::string& data) {
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_WRITE, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(key, name.c_str(), type, reinterpret_cast<const unsigned char*>(data.data()),
                       static_cast<DWORD>(data.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
  }

  void PutString(const std::string& keyPath, const std::string& name, const std::string& text) {
    Put(keyPath, name, REG_SZ, text + '\0');
  }

  void PutKey(const std::string& keyPath) {
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_WRITE, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  // The stored bytes of a value under HKEY_CURRENT_USER, and its type.
  std::optional<std::string> Get(const std::string& keyPath, const std::string& name,
                                 DWORD* type = nullptr) {
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    DWORD size = 0;
    std::optional<std::string> data;
    if (RegQueryValueExA(key, name.c_str(), type, nullptr, &size) == ERROR_SUCCESS) {
      data.emplace(size, '\0');
      RegQueryValueExA(key, name.c_str(), type, reinterpret_cast<unsigned char*>(data->data()),
                       &size);
    }
    RegCloseKey(key);
    return data;
  }

 private:
  std::string folder_;
  std::unique_ptr<TRegistryStore> store_;
  std::optional<test::ScopedInstall<TRegistryStore>> installed_;
};

}  // namespace qb
