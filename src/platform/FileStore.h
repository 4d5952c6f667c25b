// Whole-file reading and writing. Every file of the program is rewritten
// whole through a temporary file in the same folder and a rename, so a crash
// never leaves half a file behind. Files that hold mail or account data are
// private (kPrivateFileMode, their folders kPrivateFolderMode); the others
// follow the umask.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateFolderMode = 0700;

// The file's bytes, or nullopt if it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file with `bytes` in one step. The new file has the
// permission bits `mode` exactly when one is given, else 0666 less the
// umask. False (and the old file left as it was) if the temporary file
// cannot be written or renamed.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<unsigned> mode = std::nullopt);

// Writes all of `bytes` to the open descriptor, however many writes it
// takes; false at the first that fails.
bool WriteAllToDescriptor(int fd, std::string_view bytes);

// Makes the folder when missing, with the permission bits `mode` (less the
// umask), and those above it as the umask says; false when it is not there
// after.
bool MakeFolder(const std::string& folder, unsigned mode = 0777);

// Syncs the folder's entries (names made, renamed or removed in it).
bool SyncFolder(const std::string& folder);

// Takes away the permission bits outside `mode` from the file or folder;
// true when it had any (and they could be taken away).
bool NarrowMode(const std::string& path, unsigned mode);

}  // namespace qb
