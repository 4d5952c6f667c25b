// The screening state the main window keeps between the events of a POP3
// session, shared by all sessions, and the per-account UID marker file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

// Message sizes by message number, as the LIST reply gives them. The table
// grows with the numbers it is given, so any number a server sends (also
// above 60000) keeps its size; a number never given has size 0.
class MessageSizeTable {
 public:
  void Set(std::int64_t number, std::int64_t size) { sizes_[number] = size; }
  std::int64_t Get(std::int64_t number) const;
  void Clear() { sizes_.clear(); }

 private:
  std::map<std::int64_t, std::int64_t> sizes_;
};

// The session under review (ReviewClient) is not part of this record yet; it
// joins as a weak handle together with the screened session.
struct ScreeningState {
  std::string AccountText;    // what the client sent after "USER ", line end included
  std::string UidFileStem;    // AccountText made fit for a file name (MakeUidFileStem)
  std::string ProgramFolder;  // with its trailing separator
  std::string LastUid;

  // Of the scan whose rows were classified last (each session's scan keeps
  // its own while it runs).
  TextLines ListReply;  // "+OK ...", one "number size" line per message, "."
  TextLines UidlReply;  // same shape with "number uid" lines
  TextLines SpamFlags;  // "1" or "0" per scanned message, in scan order
  bool ScanCancelled = false;

  TextLines VirusList;       // vlist.txt, matched against Subject
  TextLines AttachmentList;  // attlist.txt: file-name endings that make a possible virus
  TextLines SubjectList;     // sublist.txt, matched against Subject
  TextLines SenderList;      // senlist.txt, matched against From
  TextLines RecipientList;   // reclist.txt, matched against To
  TextLines DnsblList;       // dnsbl.txt: the first line is the block-list zone
  TextLines FriendList;      // friends.txt: addresses and @domain entries only a virus rule ticks
};

// The account text with ".", "@", "#", "/", "\" and NUL replaced by "_" and
// trimmed, so that it names one file inside the program folder; bounded
// (BoundedName) so that a long account still names one file.
std::string MakeUidFileStem(std::string_view accountText);

// The account's UID marker file: ProgramFolder + UidFileStem + ".UID".
std::string UidMarkerFile(const std::string& programFolder, const std::string& uidFileStem);
std::string UidMarkerFile(const ScreeningState& state);

// The first line of the marker file; "0" when it is missing, unreadable or empty.
std::string ReadUidMarker(const std::string& path);
// Replaces the marker file (private) with the one UID and CR LF; false when
// it cannot be written.
bool WriteUidMarker(const std::string& path, std::string_view uid);

}  // namespace qb
