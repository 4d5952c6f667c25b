// The list files of the program folder and how the main window reads them:
// at start-up into the screening state, and again before each block action.
#pragma once

#include <optional>
#include <string>

#include "screening/ScreeningState.h"

namespace qb {

inline constexpr const char* kVirusListFile = "vlist.txt";
inline constexpr const char* kAttachmentListFile = "attlist.txt";
inline constexpr const char* kSubjectListFile = "sublist.txt";
inline constexpr const char* kSenderListFile = "senlist.txt";
inline constexpr const char* kRecipientListFile = "reclist.txt";
inline constexpr const char* kDnsblListFile = "dnsbl.txt";
inline constexpr const char* kFriendListFile = "friends.txt";

// The texts of the two file failures the user is told about, with the full path.
std::string CannotOpenFileText(const std::string& path);
std::string CannotCreateFileText(const std::string& path);

// Loads the seven lists from state.ProgramFolder, in the order virus,
// dangerous attachments, subject, sender, recipient, DNS block list,
// friends. A virus, block or friends list that cannot be read is reported
// ("Cannot open file <path>") and taken as empty (a missing block or friends
// list is made, empty); a dnsbl.txt that cannot be read leaves the DNS block
// list empty without a word, and so does a missing attlist.txt (the start
// line names it missing), but one that exists and cannot be read is
// reported. Entries of the virus and block lists too short to use are left out,
// with one message per list that names them.
void LoadListFiles(ScreeningState& state);

// A list as a block action reloads it: a file that does not exist yet is an
// empty list (the action creates it); nullopt when the file exists but
// cannot be read.
std::optional<TextLines> ReloadBlockList(const std::string& path);

}  // namespace qb
