#include "platform/Registry.h"

#include "platform/FileStore.h"
#include "support/ProgramEnvironment.h"
#include "support/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace qb {
namespace {

using RegistryStoreTest = RegistrySandbox;

constexpr const char* kKey = "Software\\Quillbright Test";

std::string Bytes(const char* data, std::size_t size) {
  return std::string(data, size);
}

TEST_F(RegistryStoreTest, KeyNamesIgnoreCaseAndKeepTheirOwnCase) {
  PutString("Software\\Vendor\\Product", "Name", "x");
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\vendor\\PRODUCT", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, KEY_READ, &key), ERROR_SUCCESS);
  char name[64];
  DWORD size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key, 0, name, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, size), "Vendor");
  RegCloseKey(key);
  EXPECT_EQ(Get("Software\\Vendor\\Product", "NAME"), Bytes("x", 2));
}

TEST_F(RegistryStoreTest, OpeningNeverCreatesAndCreatingTellsWhetherTheKeyWasNew) {
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Store().OpenHandleCount(), 0u);

  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
}

TEST_F(RegistryStoreTest, RejectsEmptyNamesInsideAPathAndUnknownHandles) {
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_WRITE, &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\\\B", 0, KEY_WRITE, &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
      << "a rejected path created a key";

  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\", 0, KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(0, "", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryStoreTest, QueryGivesTheSizeFirstAndRefusesABufferTooSmall) {
  Put(kKey, "Blob", 0x42, Bytes("a\0b\0c", 5));
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "blob", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, 0x42u);
  EXPECT_EQ(size, 5u);

  unsigned char small[4] = {};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "Blob", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);

  unsigned char exact[5] = {};
  ASSERT_EQ(RegQueryValueExA(key, "Blob", &type, exact, &size), ERROR_SUCCESS);
  EXPECT_EQ(Bytes(reinterpret_cast<char*>(exact), size), Bytes("a\0b\0c", 5));
  EXPECT_EQ(RegQueryValueExA(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryStoreTest, HandlesAreLimitedToTheAccessTheyWereOpenedWith) {
  PutString(kKey, "Name", "x");
  HKEY reading = 0;
  HKEY writing = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &reading), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, &writing), ERROR_SUCCESS);
  const unsigned char data[] = "y";
  EXPECT_EQ(RegSetValueExA(reading, "Name", REG_SZ, data, 2), ERROR_ACCESS_DENIED);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(writing, "Name", nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  HKEY sub = 0;
  EXPECT_EQ(RegCreateKeyExA(reading, "Sub", 0, KEY_READ, &sub, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(reading);
  RegCloseKey(writing);
  EXPECT_EQ(Get(kKey, "Name"), Bytes("x", 2));
}

TEST_F(RegistryStoreTest, EnumeratesSubkeysByNameAndValuesInTheOrderTheyWereSet) {
  PutKey(std::string(kKey) + "\\beta");
  PutKey(std::string(kKey) + "\\Alpha");
  PutKey(std::string(kKey) + "\\gamma");
  PutString(kKey, "Zed", "1");
  PutString(kKey, "", "default");
  PutString(kKey, "Ant", "2");
  PutString(kKey, "zed", "3");  // the same value again: keeps its place

  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> subkeys;
  std::vector<std::string> values;
  char name[32];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name, size);
  }
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    values.emplace_back(name, size);
  }
  DWORD tiny = 3;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &tiny), ERROR_MORE_DATA) << "no room for the NUL";
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 3, name, &size), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);

  EXPECT_EQ(subkeys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(values, (std::vector<std::string>{"Zed", "", "Ant"}));
  EXPECT_EQ(Get(kKey, "ZED"), Bytes("3", 2));
}

TEST_F(RegistryStoreTest, EveryChangeIsSavedAndReadBackByANewStore) {
  const std::string awkward = "C:\\Mail \"quoted\" \\";
  PutString(kKey, "Path", awkward);
  PutString(kKey, "\"Quoted\\Name\"", "\"both ends\"");
  Put(kKey, "Binary", REG_BINARY, Bytes("\0\x01\xFF", 3));
  Put(kKey, "Number", REG_DWORD, Bytes("\x6E\0\0\0", 4));
  Put(kKey, "Odd", 0x2A, Bytes("x\0y", 3));
  Put(kKey, "Unterminated", REG_SZ, "no nul");
  Put(kKey, "Short dword", REG_DWORD, "\x01");
  PutKey(std::string(kKey) + "\\Empty");
  std::string long27(27, '\xAB');
  Put(kKey, "Long", REG_EXPAND_SZ, long27);

  TRegistryStore reopened(RegistryFile());
  InstallRegistry(&reopened);
  DWORD type = 0;
  EXPECT_EQ(Get(kKey, "Path", &type), awkward + '\0');
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Get(kKey, "\"Quoted\\Name\""), std::string("\"both ends\"") + '\0');
  EXPECT_EQ(Get(kKey, "Binary", &type), Bytes("\0\x01\xFF", 3));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Get(kKey, "Number", &type), Bytes("\x6E\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Get(kKey, "Odd", &type), Bytes("x\0y", 3));
  EXPECT_EQ(type, 0x2Au);
  EXPECT_EQ(Get(kKey, "Unterminated", &type), "no nul");
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Get(kKey, "Short dword", &type), "\x01");
  EXPECT_EQ(Get(kKey, "Long", &type), long27);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  HKEY key = 0;
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\empty").c_str(), 0, KEY_READ, &key),
      ERROR_SUCCESS);
  RegCloseKey(key);
  InstallRegistry(&Store());
}

TEST_F(RegistryStoreTest, AChangeThatCannotBeSavedIsUndone) {
  std::ofstream(Folder() + "blocker") << "a file where a folder should be";
  TRegistryStore store(Folder() + "blocker/registry.reg");
  HKEY key = 0;
  EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key, nullptr),
            ERROR_CANTWRITE);
  EXPECT_EQ(store.OpenKey(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  const unsigned char data[] = "x";
  EXPECT_EQ(store.SetValue(HKEY_CURRENT_USER, "Name", REG_SZ, data, 2), ERROR_CANTWRITE);
  DWORD size = 0;
  EXPECT_EQ(store.QueryValue(HKEY_CURRENT_USER, "Name", nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(store.OpenHandleCount(), 0u);
}

TEST_F(RegistryStoreTest, AFileThatCannotBeReadIsNeverOverwritten) {
  const std::string path = Folder() + "broken.reg";
  const std::string broken = "this is no registry file\r\n";
  ASSERT_TRUE(WriteFileAtomically(path, broken));
  TRegistryStore store(path);
  EXPECT_FALSE(store.IsUsable());
  HKEY key = 0;
  EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key, nullptr), ERROR_BADDB);
  EXPECT_EQ(store.ImportFile(RegistryFile()), ERROR_BADDB);
  EXPECT_EQ(ReadWholeFile(path), broken);
}

TEST_F(RegistryStoreTest, ImportBringsInKeysAndValuesAndRejectsABadFileWhole) {
  PutString(kKey, "Kept", "old");
  const std::string good = Folder() + "good.reg";
  ASSERT_TRUE(WriteFileAtomically(good,
                                  "REGEDIT4\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Quillbright Test\\Account]\r\n"
                                  "\"POP3 Server\"=\"pop.example.com\"\r\n"
                                  "\r\n[HKEY_CURRENT_USER\\Software\\Quillbright Test]\r\n"
                                  "\"Kept\"=-\r\n"));
  ASSERT_EQ(Store().ImportFile(good), ERROR_SUCCESS);
  EXPECT_EQ(Get(std::string(kKey) + "\\Account", "POP3 Server"),
            std::string("pop.example.com") + '\0');
  EXPECT_EQ(Get(kKey, "Kept"), std::nullopt);

  const std::string bad = Folder() + "bad.reg";
  ASSERT_TRUE(WriteFileAtomically(bad,
                                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Fresh]\r\n"
                                  "\"A\"=\"1\"\r\n\"B\"=nonsense\r\n"));
  EXPECT_EQ(Store().ImportFile(bad), ERROR_BADDB);
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Fresh", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Store().ImportFile(Folder() + "missing.reg"), ERROR_FILE_NOT_FOUND);

  TRegistryStore reopened(RegistryFile());
  DWORD size = 0;
  ASSERT_EQ(
      reopened.OpenKey(HKEY_CURRENT_USER, "Software\\Quillbright Test\\Account", KEY_READ, &key),
      ERROR_SUCCESS);
  EXPECT_EQ(reopened.QueryValue(key, "POP3 Server", nullptr, nullptr, &size), ERROR_SUCCESS);
  reopened.CloseKey(key);
}

TEST(RegistryPath, ExplicitFileThenConfigFolderThenHome) {
  test::ScopedVariable home("HOME", "/home/someone");
  test::ScopedVariable config("XDG_CONFIG_HOME", "/cfg");
  {
    test::ScopedVariable registry("QUILLBRIGHT_REGISTRY", "/tmp/test.reg");
    EXPECT_EQ(DefaultRegistryPath(), "/tmp/test.reg");
  }
  test::ScopedVariable registry("QUILLBRIGHT_REGISTRY", std::nullopt);
  EXPECT_EQ(DefaultRegistryPath(), "/cfg/quillbright/registry.reg");
  test::ScopedVariable relative("XDG_CONFIG_HOME", "relative");
  EXPECT_EQ(DefaultRegistryPath(), "/home/someone/.config/quillbright/registry.reg");
}

}  // namespace
}  // namespace qb
