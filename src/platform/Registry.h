// Our stand-in for the registry: the root keys, keys whose names are compared
// without regard to case, typed values stored as bytes with their size, and
// the registry functions with the results the Windows functions give.
//
// The data lives in one TRegistryStore, kept in a file in registry-export text
// format. Every change rewrites the file whole (temporary file and rename);
// a change that cannot be saved is undone and fails with ERROR_CANTWRITE.
// A store whose file exists but cannot be read refuses every call with
// ERROR_BADDB and never overwrites that file.
//
// Handles: RegOpenKeyExA and RegCreateKeyExA give a new handle, never reused,
// that the caller closes with RegCloseKey (code outside the store holds it
// in a RegistryKeyGuard, which does that). The predefined root keys need no
// opening or closing. A handle remembers its key's path, so a handle whose
// key no longer exists (after an import replaced the data) fails cleanly.
#pragma once

#include "platform/RegistryTree.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

using HKEY = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
constexpr HKEY HKEY_DYN_DATA = 0x80000006;
constexpr std::size_t kRootKeyCount = 7;

// One of the root keys above, which need no opening or closing.
constexpr bool IsPredefinedKey(HKEY key) {
  return key >= HKEY_CLASSES_ROOT && key - HKEY_CLASSES_ROOT < kRootKeyCount;
}

// Results.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;

// Value types; any other number is stored and reported as it is.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr DWORD KEY_NOTIFY = 0x0010;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

using RegistryRoots = std::array<RegistryKey, kRootKeyCount>;

class TRegistryStore {
 public:
  // Loads `filePath` when it exists; the file is written at the first change.
  explicit TRegistryStore(std::string filePath);

  const std::string& FilePath() const { return filePath_; }
  bool IsUsable() const { return usable_; }

  LONG OpenKey(HKEY key, std::string_view subKey, DWORD access, HKEY* result);
  LONG CreateKey(HKEY key, std::string_view subKey, DWORD access, HKEY* result, DWORD* disposition);
  LONG CloseKey(HKEY key);
  LONG QueryValue(HKEY key, std::string_view valueName, DWORD* type, unsigned char* data,
                  DWORD* size) const;
  LONG SetValue(HKEY key, std::string_view valueName, DWORD type, const unsigned char* data,
                DWORD size);
  LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) const;
  LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                 unsigned char* data, DWORD* dataSize) const;

  // Brings the keys and values of a registry-export file into the store.
  // ERROR_FILE_NOT_FOUND when it cannot be read, ERROR_BADDB when it is not
  // in that format (nothing is taken over then), ERROR_CANTWRITE when the
  // result cannot be saved.
  LONG ImportFile(const std::string& path);

  std::size_t OpenHandleCount() const { return handles_.size(); }

 private:
  struct OpenHandle {
    std::size_t root = 0;
    std::vector<std::string> path;
    DWORD access = 0;
  };

  const OpenHandle* FindHandle(HKEY key, OpenHandle& rootHandle) const;
  RegistryKey* Resolve(const OpenHandle& handle);
  const RegistryKey* Resolve(const OpenHandle& handle) const;
  LONG ResolveForAccess(HKEY key, DWORD needed, const RegistryKey** found) const;
  HKEY AddHandle(OpenHandle handle);
  bool Save() const;
  LONG Commit(RegistryRoots before);

  std::string filePath_;
  bool usable_ = true;
  RegistryRoots roots_;
  std::map<HKEY, OpenHandle> handles_;
};

// Where the store is kept: QUILLBRIGHT_REGISTRY when set, otherwise
// $XDG_CONFIG_HOME/quillbright/registry.reg (~/.config when that is unset).
std::string DefaultRegistryPath();

// The store in use: one at DefaultRegistryPath(), opened at first use, until
// another is installed. The installer keeps its store alive while it is
// installed and restores the previous one.
TRegistryStore& CurrentRegistry();
TRegistryStore* InstallRegistry(TRegistryStore* store);  // returns the previous one

// The registry functions, on CurrentRegistry(). A null name is the empty
// name: the key itself for a subkey, the default value for a value.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD access, HKEY* result);
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD options, DWORD access, HKEY* result,
                     DWORD* disposition);
LONG RegCloseKey(HKEY key);
// With data null, only *size is filled in; with a buffer too small,
// ERROR_MORE_DATA and *size tells the size needed.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, unsigned char* data,
                      DWORD* size);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD type, const unsigned char* data,
                    DWORD size);
// *nameSize: the buffer's size in characters on entry (room for the NUL
// included), the name's length on return. ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                   unsigned char* data, DWORD* dataSize);

}  // namespace qb
