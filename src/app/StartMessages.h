// What the start-up tells the user and the log: the line naming the program
// folder, the port and the list files, a program folder that could not be
// prepared, and a listener that could not be opened, in words that say how
// to get out of it.
#pragma once

#include <string>
#include <vector>

#include "app/ProgramFolder.h"

namespace qb {

// The five list files of the program folder, split by whether they exist.
struct ListFilesPresence {
  std::vector<std::string> Found;
  std::vector<std::string> Missing;
};
ListFilesPresence FindListFiles(const std::string& programFolder);

// "Quillbright 1.5: program folder F; port P; list files found: a, b;
// missing: c; copied from the shipped lists in S: a, b" (the last two parts
// only when there is something to name).
std::string StartLogLine(const ChosenProgramFolder& folder, const std::string& shippedFolder,
                         const std::string& port, const ListFilesPresence& lists);

// The message box for a program folder that could not be made, filled or
// written; empty when nothing went wrong.
std::string ProgramFolderFailureText(const ChosenProgramFolder& folder);

// The gateway's error text for a listener that could not be opened on
// `port`, led by what it means and both ways out when the port needs a
// right the program lacks (10013) or is taken (10048); other errors as
// they stand. `executable` is the file to give the right to.
std::string ListenFailureText(const std::string& gatewayError, const std::string& port,
                              const std::string& executable);

// The one line that stays in view (status bar, tray tip) while the gateway
// does not listen: the program runs on without screening.
std::string NotListeningText(const std::string& port);

}  // namespace qb
