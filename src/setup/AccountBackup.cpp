#include "setup/AccountBackup.h"

#include "platform/FileStore.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryKeyGuard.h"
#include "setup/RegistryHelper.h"
#include "setup/WindowsKind.h"

#include <sys/stat.h>

#include <optional>

namespace qb {

namespace {

// Longest value name the registry allows, plus its NUL.
constexpr DWORD kNameBufferSize = 16384;

struct StoredValue {
  DWORD type = 0;
  std::string data;
};

std::optional<StoredValue> QueryValue(HKEY key, const std::string& name) {
  StoredValue value;
  DWORD size = 0;
  if (RegQueryValueExA(key, name.c_str(), &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  auto* buffer = reinterpret_cast<unsigned char*>(value.data.data());
  if (RegQueryValueExA(key, name.c_str(), &value.type, buffer, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  return value;
}

std::string NewFileHeader() {
  int kind = GetWindowsKind();
  return std::string(kind == 5 || kind == 6 ? kRegedit5Header : kRegedit4Header);
}

std::vector<std::string> LoadBackupLines(const std::string& fileName) {
  struct stat info {};
  if (stat(fileName.c_str(), &info) != 0) return {NewFileHeader()};
  std::optional<std::string> text = ReadExportFile(fileName);
  if (!text) throw EBackupError("Cannot read file \"" + fileName + "\"");
  std::vector<std::string> lines = SplitLines(*text);
  // An empty file has no header line for new blocks to follow; it is begun
  // afresh like a missing one.
  if (lines.empty()) lines.push_back(NewFileHeader());
  return lines;
}

}  // namespace

TRegistryBackup::TRegistryBackup(HKEY root, bool withSubkeys, std::vector<std::string> lines)
    : root_(root), withSubkeys_(withSubkeys), lines_(std::move(lines)) {}

bool TRegistryBackup::IsKeySaved(const std::string& keyPath) const {
  const std::string keyLine = KeyLine(root_, keyPath);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].find(keyLine) == std::string::npos) continue;
    // A key line on the last line has no block after it.
    if (i + 1 < lines_.size() && lines_[i + 1].find("=-") == std::string::npos) return true;
    ++i;
  }
  return false;
}

void TRegistryBackup::ExportRegistryKey(const std::string& keyPath) {
  std::vector<std::string> subkeyNames;
  {  // the key is closed before its subkeys are exported, so one key is open at a time
    RegistryKeyGuard key = RegistryKeyGuard::Open(root_, keyPath, KEY_READ);
    if (!key.IsOpen()) return;
    AddLine("");
    AddLine(KeyLine(root_, keyPath));
    const std::vector<std::string> valueNames = EnumerateNames(key.Get(), true, kNameBufferSize);
    subkeyNames = EnumerateNames(key.Get(), false, kNameBufferSize);
    for (const std::string& name : valueNames) {
      std::optional<StoredValue> value = QueryValue(key.Get(), name);
      if (!value) continue;
      for (std::string& line : ValueLines(name, value->type, value->data, TStringStyle::ssBackup)) {
        AddLine(std::move(line));
      }
    }
  }
  if (!withSubkeys_) return;
  for (const std::string& subkey : subkeyNames) ExportRegistryKey(keyPath + '\\' + subkey);
}

void TRegistryBackup::AddLine(std::string line) {
  ++insertionIndex_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertionIndex_), std::move(line));
}

void BackupRegistryKey(HKEY root, std::string keyPath, const std::string& fileName,
                       bool withSubkeys) {
  if (!keyPath.empty() && keyPath.back() == '\\') keyPath.pop_back();
  TRegistryBackup backup(root, withSubkeys, LoadBackupLines(fileName));
  if (!backup.IsKeySaved(keyPath)) backup.ExportRegistryKey(keyPath);
  if (!WriteFileAtomically(fileName, JoinLines(backup.Lines()))) {
    throw EBackupError("Cannot write file \"" + fileName + "\"");
  }
}

}  // namespace qb
