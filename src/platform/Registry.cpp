#include "platform/Registry.h"

#include "platform/FileStore.h"
#include "platform/RegistryFile.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

namespace qb {

namespace {

// Handles are numbered from 1 and never reused, across all stores.
std::atomic<HKEY> nextHandle{1};

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

LONG CopyOut(std::string_view bytes, unsigned char* data, DWORD* size) {
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  bool fits = *size >= bytes.size();
  *size = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (!fits) return ERROR_MORE_DATA;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

LONG CopyName(std::string_view name, char* buffer, DWORD* bufferSize) {
  if (!buffer || !bufferSize) return ERROR_INVALID_PARAMETER;
  if (*bufferSize <= name.size()) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *bufferSize = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

std::string_view NameOf(const char* text) {
  return text ? std::string_view(text) : "";
}

TRegistryStore*& Installed() {
  static TRegistryStore* store = nullptr;
  return store;
}

}  // namespace

TRegistryStore::TRegistryStore(std::string filePath) : filePath_(std::move(filePath)) {
  if (!FileExists(filePath_)) return;
  std::optional<std::string> text = ReadExportFile(filePath_);
  std::string error;
  usable_ = text && ImportRegistryExport(*text, roots_, error);
  if (!usable_) roots_ = RegistryRoots{};
}

const TRegistryStore::OpenHandle* TRegistryStore::FindHandle(HKEY key,
                                                             OpenHandle& rootHandle) const {
  if (IsPredefinedKey(key)) {
    rootHandle = OpenHandle{key - HKEY_CLASSES_ROOT, {}, KEY_ALL_ACCESS};
    return &rootHandle;
  }
  auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : &it->second;
}

const RegistryKey* TRegistryStore::Resolve(const OpenHandle& handle) const {
  const RegistryKey* key = &roots_[handle.root];
  for (const std::string& name : handle.path) {
    key = key->FindSubkey(name);
    if (!key) return nullptr;
  }
  return key;
}

RegistryKey* TRegistryStore::Resolve(const OpenHandle& handle) {
  return const_cast<RegistryKey*>(std::as_const(*this).Resolve(handle));
}

LONG TRegistryStore::ResolveForAccess(HKEY key, DWORD needed, const RegistryKey** found) const {
  if (!usable_) return ERROR_BADDB;
  OpenHandle rootHandle;
  const OpenHandle* handle = FindHandle(key, rootHandle);
  if (!handle) return ERROR_INVALID_HANDLE;
  if ((handle->access & needed) != needed) return ERROR_ACCESS_DENIED;
  *found = Resolve(*handle);
  return *found ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

HKEY TRegistryStore::AddHandle(OpenHandle handle) {
  HKEY key = nextHandle++;
  handles_.emplace(key, std::move(handle));
  return key;
}

bool TRegistryStore::Save() const {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(filePath_).parent_path(), ignored);
  return WriteFileAtomically(filePath_, RenderRegistryExport(roots_));
}

LONG TRegistryStore::Commit(RegistryRoots before) {
  if (Save()) return ERROR_SUCCESS;
  roots_ = std::move(before);
  return ERROR_CANTWRITE;
}

LONG TRegistryStore::OpenKey(HKEY key, std::string_view subKey, DWORD access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  const RegistryKey* parent = nullptr;
  if (LONG error = ResolveForAccess(key, 0, &parent)) return error;
  auto names = SplitKeyPath(subKey);
  if (!names) return ERROR_BAD_PATHNAME;
  for (const std::string& name : *names) {
    parent = parent->FindSubkey(name);
    if (!parent) return ERROR_FILE_NOT_FOUND;
  }
  OpenHandle rootHandle;
  OpenHandle opened = *FindHandle(key, rootHandle);
  opened.path.insert(opened.path.end(), names->begin(), names->end());
  opened.access = access;
  *result = AddHandle(std::move(opened));
  return ERROR_SUCCESS;
}

LONG TRegistryStore::CreateKey(HKEY key, std::string_view subKey, DWORD access, HKEY* result,
                               DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  HKEY existing = 0;
  LONG opened = OpenKey(key, subKey, access, &existing);
  if (opened != ERROR_FILE_NOT_FOUND) {
    if (opened == ERROR_SUCCESS) {
      *result = existing;
      if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    }
    return opened;
  }
  const RegistryKey* unused = nullptr;
  if (LONG error = ResolveForAccess(key, KEY_CREATE_SUB_KEY, &unused)) return error;
  OpenHandle rootHandle;
  OpenHandle created = *FindHandle(key, rootHandle);
  RegistryRoots before = roots_;
  RegistryKey* target = Resolve(created);
  std::vector<std::string> names = *SplitKeyPath(subKey);
  for (const std::string& name : names) {
    target = &target->AddSubkey(name);
    created.path.push_back(name);
  }
  if (LONG error = Commit(std::move(before))) return error;
  created.access = access;
  *result = AddHandle(std::move(created));
  if (disposition) *disposition = REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

LONG TRegistryStore::CloseKey(HKEY key) {
  if (IsPredefinedKey(key)) return ERROR_SUCCESS;
  return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG TRegistryStore::QueryValue(HKEY key, std::string_view valueName, DWORD* type,
                                unsigned char* data, DWORD* size) const {
  const RegistryKey* found = nullptr;
  if (LONG error = ResolveForAccess(key, KEY_QUERY_VALUE, &found)) return error;
  const RegistryValue* value = found->FindValue(valueName);
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->type;
  return CopyOut(value->data, data, size);
}

LONG TRegistryStore::SetValue(HKEY key, std::string_view valueName, DWORD type,
                              const unsigned char* data, DWORD size) {
  const RegistryKey* found = nullptr;
  if (LONG error = ResolveForAccess(key, KEY_SET_VALUE, &found)) return error;
  if (!data && size > 0) return ERROR_INVALID_PARAMETER;
  RegistryRoots before = roots_;
  std::string bytes = size > 0 ? std::string(reinterpret_cast<const char*>(data), size) : "";
  const_cast<RegistryKey*>(found)->SetValue(valueName, type, std::move(bytes));
  return Commit(std::move(before));
}

LONG TRegistryStore::EnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) const {
  const RegistryKey* found = nullptr;
  if (LONG error = ResolveForAccess(key, KEY_ENUMERATE_SUB_KEYS, &found)) return error;
  if (index >= found->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(found->subkeys[index].name, name, nameSize);
}

LONG TRegistryStore::EnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                               unsigned char* data, DWORD* dataSize) const {
  const RegistryKey* found = nullptr;
  if (LONG error = ResolveForAccess(key, KEY_QUERY_VALUE, &found)) return error;
  if (index >= found->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryValue& value = found->values[index];
  if (LONG error = CopyName(value.name, name, nameSize)) return error;
  if (type) *type = value.type;
  return CopyOut(value.data, data, dataSize);
}

LONG TRegistryStore::ImportFile(const std::string& path) {
  if (!usable_) return ERROR_BADDB;
  std::optional<std::string> text = ReadExportFile(path);
  if (!text) return ERROR_FILE_NOT_FOUND;
  RegistryRoots before = roots_;
  std::string error;
  if (!ImportRegistryExport(*text, roots_, error)) {
    roots_ = std::move(before);
    return ERROR_BADDB;
  }
  return Commit(std::move(before));
}

std::string DefaultRegistryPath() {
  const char* explicitPath = std::getenv("QUILLBRIGHT_REGISTRY");
  if (explicitPath && *explicitPath) return explicitPath;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config && *config == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home ? home : "") + "/.config";
  }
  return folder + "/quillbright/registry.reg";
}

TRegistryStore& CurrentRegistry() {
  if (TRegistryStore* installed = Installed()) return *installed;
  static TRegistryStore standard(DefaultRegistryPath());
  return standard;
}

TRegistryStore* InstallRegistry(TRegistryStore* store) {
  TRegistryStore* previous = Installed();
  Installed() = store;
  return previous;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, DWORD access, HKEY* result) {
  return CurrentRegistry().OpenKey(key, NameOf(subKey), access, result);
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, DWORD access, HKEY* result,
                     DWORD* disposition) {
  return CurrentRegistry().CreateKey(key, NameOf(subKey), access, result, disposition);
}

LONG RegCloseKey(HKEY key) {
  return CurrentRegistry().CloseKey(key);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, unsigned char* data,
                      DWORD* size) {
  return CurrentRegistry().QueryValue(key, NameOf(valueName), type, data, size);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD type, const unsigned char* data,
                    DWORD size) {
  return CurrentRegistry().SetValue(key, NameOf(valueName), type, data, size);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  return CurrentRegistry().EnumKey(key, index, name, nameSize);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                   unsigned char* data, DWORD* dataSize) {
  return CurrentRegistry().EnumValue(key, index, name, nameSize, type, data, dataSize);
}

}  // namespace qb
