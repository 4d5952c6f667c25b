// Which files of the program folder hold mail or account data: the copies of
// removed mail (removed/ and removed/deliver/), removed.log, the decisions
// (*.decisions), the UID markers (*.UID), friends.txt, stlsservers.txt and
// the accounts checked ahead (checkahead.txt). They are created readable by
// the user alone (kPrivateFileMode), their folders kPrivateFolderMode; every
// other file follows the umask. At start, NarrowPrivateFiles takes the
// wider bits away from such files and folders made before.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

inline constexpr const char* kPrivateSubfolders[] = {"removed/", "removed/deliver/"};

// Whether a file of that name in the program folder holds such data.
bool IsPrivateProgramFile(std::string_view fileName);

// The mode WriteFileAtomically should give the file at `path`:
// kPrivateFileMode for a private one, nothing (the umask) otherwise.
std::optional<unsigned> ProgramFileMode(std::string_view path);

// Narrows the program folder, its private subfolders and every private
// file in them; returns how many had wider permission bits.
int NarrowPrivateFiles(const std::string& programFolder);

}  // namespace qb
