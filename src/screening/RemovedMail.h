// What "Remove Checked" keeps of every message it deletes: a copy of the
// whole message in the program folder's removed/ folder, written and synced
// before the DELE goes out, and one line of removed.log that says what was
// removed and which rule ticked it. Copies older than the kept days are
// removed at start.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "screening/CopyBatch.h"
#include "screening/MessageRow.h"

namespace qb {

struct TRemovedMailSettings {
  // Larger messages are deleted without a copy (the log says "no copy").
  std::int64_t CopyLimitBytes = 5 * 1024 * 1024;
  int KeepDays = 30;
};

inline constexpr const char* kRemovedFolder = "removed/";
inline constexpr const char* kRemovedLogFile = "removed.log";
inline constexpr const char* kNoCopy = "no copy";

// What the log says of one removed message, taken from its review row.
struct TRemovalFacts {
  std::string Uid;
  std::string Size;
  MessageCategory Category = MessageCategory::mcUseful;
  std::string Rule;  // the list entry or the listed relay address
  std::string From;
  std::string Subject;
};

TRemovalFacts RemovalFactsOf(const MessageRow& row);

// A session's deletions with their copies: what each ticked message's log
// line will say, the messages still to be copied, the copies written (and,
// once committed, on disk) by message, and how many messages were kept
// because their copy could not be written.
struct TSessionRemovals {
  std::map<std::int64_t, TRemovalFacts> Facts;    // by the server's number
  std::deque<std::int64_t> ToCopy;                // retrieved one after the other
  TCopyBatch Batch;                               // synced before the first DELE
  std::map<std::int64_t, std::string> CopyNames;  // no entry: no copy
  bool InsteadOfRetrieval = false;                // the copy is of a RETR that becomes a DELE
  std::size_t Kept = 0;

  // The copy's name for the log line, kNoCopy when it has none.
  std::string CopyNameOf(std::int64_t number) const;
};

// The category's name in the log ("virus", "spam", "blocked subject", ...).
const char* CategoryLogName(MessageCategory category);

// The message of a positive RETR reply read whole: the bytes between the
// status line and the final ".", with the dot-stuffing undone; nullopt when
// the reply is no whole "+OK" listing.
std::optional<std::string> MessageOfRetrReply(std::string_view reply);

// The account's part of a copy's file name: the start of its UID file stem
// with every byte outside A-Z a-z 0-9 . _ - replaced by "_", then "~" and
// NameHash of the trimmed account text, so that it names exactly one
// account. Copies named before the hash was added have only the first part
// (LegacyCopyAccountPart) and never a "~".
std::string CopyAccountPart(std::string_view accountText);
std::string LegacyCopyAccountPart(std::string_view accountText);

// "<yyyymmdd-hhmmss>-<account part>-<uid>.eml", the UID's bytes outside
// A-Z a-z 0-9 . _ - replaced by "_" too and the UID part bounded
// (BoundedName), so that the name fits a file system whatever the UID.
std::string RemovedCopyName(std::chrono::system_clock::time_point when,
                            std::string_view accountText, std::string_view uid);

// Whether a copy name from the log names a file inside the copies' folder:
// not empty, no "/", not "." or "..".
bool IsPlainFileName(std::string_view name);

// Writes one copy into `folder` (made when missing) as a batch of one
// (TCopyBatch) and commits it; false when it is not safely on disk.
bool StoreRemovedCopy(const std::string& folder, const std::string& name, std::string_view bytes);

// One tab-separated line (no line end): time, account, UID, size,
// category, rule, From, Subject, copy name or "no copy". Tabs, CR and LF
// in the texts become blanks, so each removal stays one line.
std::string FormatRemovalLogLine(std::chrono::system_clock::time_point when,
                                 std::string_view accountText, const TRemovalFacts& facts,
                                 std::string_view copyName);

// The line of a copy whose delivery a client's QUIT ended: "delivered
// again" once the client retrieved it, "delivery ended" when it only
// deleted it; the rule is empty.
inline constexpr const char* kDeliveredAgain = "delivered again";
inline constexpr const char* kDeliveryEnded = "delivery ended";
std::string FormatDeliveryLogLine(std::chrono::system_clock::time_point when,
                                  std::string_view accountText, const TRemovalFacts& facts,
                                  std::string_view copyName, bool retrieved);

// Appends the line and CR LF and syncs it (the log is created private);
// false when it cannot be written.
bool AppendRemovalLog(const std::string& path, std::string_view line);

// Removes the copies in `folder` (not its subfolders) last written more
// than `keepDays` days before `now`; returns how many went.
int RemoveOldCopies(const std::string& folder, int keepDays,
                    std::chrono::system_clock::time_point now);

}  // namespace qb
