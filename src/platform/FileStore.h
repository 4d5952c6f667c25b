// Whole-file reading and writing. Every file of the program is rewritten
// whole through a temporary file in the same folder and a rename, so a crash
// never leaves half a file behind.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

// The file's bytes, or nullopt if it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file with `bytes` in one step, the new file having the
// permission bits `mode`. False (and the old file left as it was) if the
// temporary file cannot be written or renamed.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// Writes all of `bytes` to the open descriptor, however many writes it
// takes; false at the first that fails.
bool WriteAllToDescriptor(int fd, std::string_view bytes);

}  // namespace qb
