// The first-run steps of the main window's set-up: at a "-shortcut" start
// the help page and the usage dialog, then the setup prompt, which opens the
// modification dialog while the default mail account does not fetch from
// "localhost" and options.txt does not say exactly "N".
#pragma once

#include <string>

namespace qb {

inline constexpr const char* kHelpFile = "quillbright.html";

// The help page: in the program folder, else beside the executable (where
// the build puts it when QUILLBRIGHT_HOME names another folder).
std::string HelpFilePath(const std::string& programFolder);

// Whether the setup dialog is to come up by itself.
bool IsSetupPromptNeeded(const std::string& programFolder);

}  // namespace qb
