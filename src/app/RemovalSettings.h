// The settings of the copies "Remove Checked" keeps, from the registry key
// HKEY_CURRENT_USER\Software\Quillbright: "RemovedCopyLimitKB" (DWORD, the
// largest message copied, in KiB; default 5120) and "RemovedKeepDays"
// (DWORD, how long a copy is kept; default 30), and over them the settings
// file's "removed-copy-limit-kb" and "removed-keep-days". A missing or
// unreadable value keeps its default. At start the older copies are removed.
#pragma once

#include <string>

#include "screening/RemovedMail.h"

namespace qb {

inline constexpr const char* kQuillbrightKey = "Software\\Quillbright";

TRemovedMailSettings ReadRemovedMailSettings();

// Removes the copies in the program folder's removed/ older than the kept
// days, saying on standard error how many went when there were any.
void RemoveExpiredCopies(const std::string& programFolder, const TRemovedMailSettings& settings);

}  // namespace qb
