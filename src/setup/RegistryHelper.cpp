#include "setup/RegistryHelper.h"

#include <vector>

namespace qb {

namespace {

// Room for a 1023-character name and its NUL.
constexpr DWORD kEnumNameBufferSize = 1024;

struct ValuePath {
  std::string keyPath;
  std::string valueName;
};

std::optional<ValuePath> SplitValuePath(std::string_view path) {
  std::size_t slash = LastIndexOfChar('\\', path);
  if (slash == 0) return std::nullopt;
  return ValuePath{std::string(path.substr(0, slash - 1)), std::string(path.substr(slash))};
}

// Closes the key when the scope ends.
class OpenedKey {
 public:
  OpenedKey(HKEY root, const std::string& keyPath, DWORD access) {
    opened_ = RegOpenKeyExA(root, keyPath.c_str(), 0, access, &key_) == ERROR_SUCCESS;
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    if (opened_) RegCloseKey(key_);
  }
  bool IsOpen() const { return opened_; }
  HKEY Handle() const { return key_; }

 private:
  HKEY key_ = 0;
  bool opened_ = false;
};

}  // namespace

std::size_t LastIndexOfChar(char c, std::string_view s) {
  std::size_t position = s.rfind(c);
  return position == std::string_view::npos ? 0 : position + 1;
}

bool RegWriteValue(HKEY root, std::string_view path, DWORD type, const unsigned char* data,
                   DWORD size) {
  std::optional<ValuePath> split = SplitValuePath(path);
  if (!split) return false;
  HKEY key = 0;
  if (RegCreateKeyExA(root, split->keyPath.c_str(), REG_OPTION_NON_VOLATILE, KEY_WRITE, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool set = RegSetValueExA(key, split->valueName.c_str(), type, data, size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

bool RegWriteString(HKEY root, std::string_view path, std::string_view text) {
  std::string data(text);
  data += '\0';
  return RegWriteValue(root, path, REG_SZ, reinterpret_cast<const unsigned char*>(data.data()),
                       static_cast<DWORD>(data.size()));
}

std::optional<std::string> RegReadString(HKEY root, std::string_view path) {
  std::optional<ValuePath> split = SplitValuePath(path);
  if (!split) return std::nullopt;
  OpenedKey key(root, split->keyPath, KEY_READ);
  if (!key.IsOpen()) return std::nullopt;
  const char* name = split->valueName.c_str();
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.Handle(), name, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<unsigned char> buffer(size);
  if (RegQueryValueExA(key.Handle(), name, &type, buffer.data(), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  if (size == 0) return std::string();
  return std::string(buffer.begin(), buffer.begin() + (size - 1));
}

std::vector<std::string> EnumerateNames(HKEY key, bool valueNames, DWORD bufferSize) {
  std::vector<std::string> names;
  std::vector<char> buffer(bufferSize);
  for (DWORD index = 0;; ++index) {
    DWORD size = bufferSize;
    LONG result = valueNames
                      ? RegEnumValueA(key, index, buffer.data(), &size, nullptr, nullptr, nullptr)
                      : RegEnumKeyExA(key, index, buffer.data(), &size);
    if (result != ERROR_SUCCESS) return names;
    names.emplace_back(buffer.data(), size);
  }
}

std::optional<std::string> RegEnumNames(HKEY root, std::string_view keyPath, bool valueNames) {
  OpenedKey key(root, std::string(keyPath), KEY_READ);
  if (!key.IsOpen()) return std::nullopt;
  std::vector<std::string> names = EnumerateNames(key.Handle(), valueNames, kEnumNameBufferSize);
  std::string joined;
  for (std::size_t i = 0; i < names.size(); ++i) joined += (i > 0 ? "\r\n" : "") + names[i];
  return joined;
}

std::optional<std::string> RegEnumSubKeys(HKEY root, std::string_view keyPath) {
  return RegEnumNames(root, keyPath, false);
}

}  // namespace qb
