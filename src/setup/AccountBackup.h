// The account backup file: before an account's registry key is changed for
// the first time, the key and its subkeys are saved as text in
// registry-export format. A key already in the file is left alone, so the
// file keeps the values as they were before the first change. Blocks are
// kept newest first, right after the header line.
#pragma once

#include "platform/Registry.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qb {

// The backup file could not be read or written; the registry is unchanged.
class EBackupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One backup run: the line list of the file and where the next line goes.
class TRegistryBackup {
 public:
  TRegistryBackup(HKEY root, bool withSubkeys, std::vector<std::string> lines);

  // Whether a block for the key is in the lines: a line holding its key line
  // whose next line is not a deletion line ("=-").
  bool IsKeySaved(const std::string& keyPath) const;

  // Adds the key's block, and with subkeys its subkeys' blocks depth first.
  // A key that cannot be opened adds nothing.
  void ExportRegistryKey(const std::string& keyPath);

  const std::vector<std::string>& Lines() const { return lines_; }
  std::size_t InsertionIndex() const { return insertionIndex_; }

 private:
  void AddLine(std::string line);

  HKEY root_;
  bool withSubkeys_;
  std::vector<std::string> lines_;
  std::size_t insertionIndex_ = 0;
};

// Saves the key (one trailing backslash of `keyPath` dropped) to `fileName`
// unless it is saved there already. A new file gets the header chosen by
// GetWindowsKind(). The file is rewritten whole either way. Throws
// EBackupError when the file exists but cannot be read, or cannot be written.
void BackupRegistryKey(HKEY root, std::string keyPath, const std::string& fileName,
                       bool withSubkeys);

}  // namespace qb
