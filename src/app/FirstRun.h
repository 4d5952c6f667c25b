// The first-run steps of the main window's set-up, once, at the first
// interactive ("-shortcut") start: the help page and the usage dialog, then
// the setup prompt, which opens the modification dialog while the default
// mail account does not fetch from "localhost" and options.txt does not say
// exactly "N". A start hidden in the tray, and every later start, shows
// none of them.
#pragma once

#include <string>

namespace qb {

inline constexpr const char* kHelpFile = "quillbright.html";

// The help page: in the program folder, else beside the executable (where
// the build puts it when QUILLBRIGHT_HOME names another folder).
std::string HelpFilePath(const std::string& programFolder);

// Whether the setup dialog is to come up by itself.
bool IsSetupPromptNeeded(const std::string& programFolder);

// The first-run sequence runs once: firstrun.txt in the program folder
// says it has.
inline constexpr const char* kFirstRunFile = "firstrun.txt";
bool FirstRunDone(const std::string& programFolder);
void MarkFirstRunDone(const std::string& programFolder);

}  // namespace qb
