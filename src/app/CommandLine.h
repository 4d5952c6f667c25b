// The command-line requests both programs answer before they start:
// "--help" (or "-h") and "--version" (or "-V") as the first argument. Any
// other first argument ("-shortcut" among them) starts the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class TCommandLineRequest { crStart, crHelp, crVersion };

// `arguments` are those after the program name; only the first counts.
TCommandLineRequest CommandLineRequest(const std::vector<std::string>& arguments);

// "<program> <version>\n", the version being the build's project version.
std::string VersionText(std::string_view program);

// The usage texts of quillbrightd and quillbright.
std::string HeadlessHelpText();
std::string DesktopHelpText();

}  // namespace qb
