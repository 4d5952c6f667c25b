// The program folder: where every file of the program lies. It is the folder
// of the executable, or the folder named by QUILLBRIGHT_HOME when that
// variable is set and not empty. Always given with its trailing separator.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// The folder of the running executable with a trailing "/"; "./" when the
// system cannot tell.
std::string ExecutableFolder();

// QUILLBRIGHT_HOME (a trailing "/" added when missing), else ExecutableFolder().
std::string ProgramFolder();

// The full path of a file of the program folder.
std::string ProgramFile(const std::string& programFolder, std::string_view name);

}  // namespace qb
