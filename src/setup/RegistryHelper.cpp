#include "setup/RegistryHelper.h"

#include "platform/RegistryKeyGuard.h"

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

}  // namespace

std::size_t LastIndexOfChar(char c, std::string_view s) {
  std::size_t position = s.rfind(c);
  return position == std::string_view::npos ? 0 : position + 1;
}

bool RegWriteValue(HKEY root, std::string_view path, DWORD type, const unsigned char* data,
                   DWORD size) {
  std::optional<ValuePath> split = SplitValuePath(path);
  if (!split) return false;
  RegistryKeyGuard key = RegistryKeyGuard::Create(root, split->keyPath, KEY_WRITE);
  if (!key.IsOpen()) return false;
  return RegSetValueExA(key.Get(), split->valueName.c_str(), type, data, size) == ERROR_SUCCESS;
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
  RegistryKeyGuard key = RegistryKeyGuard::Open(root, split->keyPath, KEY_READ);
  if (!key.IsOpen()) return std::nullopt;
  const char* name = split->valueName.c_str();
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), name, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<unsigned char> buffer(size);
  if (RegQueryValueExA(key.Get(), name, &type, buffer.data(), &size) != ERROR_SUCCESS ||
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
  RegistryKeyGuard key = RegistryKeyGuard::Open(root, std::string(keyPath), KEY_READ);
  if (!key.IsOpen()) return std::nullopt;
  std::vector<std::string> names = EnumerateNames(key.Get(), valueNames, kEnumNameBufferSize);
  std::string joined;
  for (std::size_t i = 0; i < names.size(); ++i) joined += (i > 0 ? "\r\n" : "") + names[i];
  return joined;
}

std::optional<std::string> RegEnumSubKeys(HKEY root, std::string_view keyPath) {
  return RegEnumNames(root, keyPath, false);
}

}  // namespace qb
