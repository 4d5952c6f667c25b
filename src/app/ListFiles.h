// The list files of the program folder and how the main window reads them:
// at start-up into the screening state, and again before each block action.
#pragma once

#include <optional>
#include <string>

#include "screening/ScreeningState.h"

namespace qb {

inline constexpr const char* kVirusListFile = "vlist.txt";
inline constexpr const char* kSubjectListFile = "sublist.txt";
inline constexpr const char* kSenderListFile = "senlist.txt";
inline constexpr const char* kRecipientListFile = "reclist.txt";
inline constexpr const char* kDnsblListFile = "dnsbl.txt";

// The texts of the two file failures the user is told about, with the full path.
std::string CannotOpenFileText(const std::string& path);
std::string CannotCreateFileText(const std::string& path);

// Loads the five lists from state.ProgramFolder, in the order virus,
// subject, sender, recipient, DNS block list. A virus or block list that
// cannot be read is reported ("Cannot open file <path>") and taken as
// empty; a dnsbl.txt that cannot be read leaves the DNS block list empty
// without a word.
void LoadListFiles(ScreeningState& state);

// A block list as a block action reloads it: a file that does not exist
// yet is an empty list (the action creates it); nullopt when the file
// exists but cannot be read.
std::optional<TextLines> ReloadBlockList(const std::string& path);

}  // namespace qb
