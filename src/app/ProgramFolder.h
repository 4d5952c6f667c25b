// The program folder: where every file of the program lies, always given
// with its trailing separator. In order:
//   1. QUILLBRIGHT_HOME, when set and not empty;
//   2. the folder of the executable, when it is writable and holds vlist.txt
//      (a build tree or a portable copy);
//   3. otherwise (an installed program) $XDG_DATA_HOME/quillbright/, by
//      default ~/.local/share/quillbright/, created when missing and given
//      every shipped file of the installed data folder (share/quillbright/
//      beside the executable's bin/) that it does not hold yet. A file of the
//      user's is never overwritten.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

// The places the program folder is chosen from, as the environment and the
// executable's location give them.
struct ProgramFolderPlaces {
  std::string Home;              // QUILLBRIGHT_HOME, empty when unset
  std::string ExecutableFolder;  // with its trailing separator
  std::string DataHome;          // $XDG_DATA_HOME, else $HOME/.local/share (empty: neither set)
  std::string ShippedFolder;     // the installed data folder with the shipped lists
};

ProgramFolderPlaces CurrentProgramFolderPlaces();

// The folder the rules above choose, and what choosing it did.
struct ChosenProgramFolder {
  std::string Folder;
  std::vector<std::string> Copied;  // names of the shipped files copied in now
  std::string Error;                // why the data folder could not be made or filled
};

// Applies the rules; in the third case creates and fills the data folder.
ChosenProgramFolder ChooseProgramFolder(const ProgramFolderPlaces& places);

// Copies every regular file of `shipped` that `folder` does not hold yet;
// returns the names copied (sorted). Errors are added to `error`.
std::vector<std::string> CopyMissingShippedFiles(const std::string& shipped,
                                                 const std::string& folder, std::string& error);

// The running executable's full path; empty when the system cannot tell.
std::string ExecutablePath();

// The folder of the running executable with a trailing "/"; "./" when the
// system cannot tell.
std::string ExecutableFolder();

// The installed data folder for an executable in `executableFolder`: the
// data folder of the installation relative to its bin folder.
std::string ShippedDataFolder(const std::string& executableFolder);

// ChooseProgramFolder(CurrentProgramFolderPlaces()).Folder.
std::string ProgramFolder();

// The full path of a file of the program folder.
std::string ProgramFile(const std::string& programFolder, std::string_view name);

}  // namespace qb
