// options.txt: one line, "N" when the setup dialog is not to come up by
// itself at start, "Y" otherwise. Only the exact "N" counts.
#pragma once

#include <string>

namespace qb {

inline constexpr const char* kOptionsFile = "options.txt";

// The first line of options.txt in the program folder; "Y" when the file is
// missing, unreadable or empty.
std::string ReadSetupPrompt(const std::string& programFolder);
// Writes the one line "N" (do not show again) or "Y"; whether it was written.
bool WriteSetupPrompt(const std::string& programFolder, bool doNotShowAgain);

}  // namespace qb
