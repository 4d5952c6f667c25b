// The command-line requests both programs answer before they start:
// "--help" (or "-h") and "--version" (or "-V") as the first argument. Any
// other first argument ("-shortcut" among them) starts the program.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class TCommandLineRequest { crStart, crHelp, crVersion };

// `arguments` are those after the program name; only the first counts.
TCommandLineRequest CommandLineRequest(const std::vector<std::string>& arguments);

// "<program> <version>\n", the version being the build's project version.
std::string VersionText(std::string_view program);

// Answers "--help" with `helpText` and "--version" with the version text
// on `out`; whether it did, in which case the program ends with status 0.
bool AnswerCommandLine(const std::vector<std::string>& arguments, std::string_view program,
                       const std::string& helpText, std::ostream& out);

// The usage texts of quillbrightd and quillbright.
std::string HeadlessHelpText();
std::string DesktopHelpText();

}  // namespace qb
