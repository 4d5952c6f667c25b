// What the user decided about an account's messages, kept by UID (the
// server's unique id) so that a decision outlasts the mail client's session:
// a per-account file in the program folder, one line per UID, "remove UID",
// "keep UID", or "review UID" for a message that was left out of a client's
// listing while its review was still open (it is shown again at the next
// check until it is decided). Rewritten whole through a temporary file.
//
// A UID the server lists for more than one message names no message for
// sure: it is never decided, and a decision recorded for it is not used.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "screening/ScreeningText.h"

namespace qb {

enum class TDecision : std::uint8_t { dRemove, dKeep, dReview };

using TDecisions = std::map<std::string, TDecision>;

// ProgramFolder + UidFileStem + ".decisions".
std::string DecisionsFile(const std::string& programFolder, const std::string& uidFileStem);

// The decisions of the file; an empty set when it does not exist yet, and
// nullopt when it exists but cannot be read. Lines that say nothing known
// are passed over.
std::optional<TDecisions> ReadDecisions(const std::string& path);
std::string FormatDecisions(const TDecisions& decisions);
TDecisions ParseDecisions(std::string_view text);
bool WriteDecisions(const std::string& path, const TDecisions& decisions);

// The UIDs that a UIDL listing gives more than one message.
std::set<std::string> DuplicateUids(const TextLines& uidlListing);

// An account's decisions against the mailbox of one session, by message
// number. When the UIDL listing gives every message of the session a UID
// (`complete`), decisions for UIDs it does not list are dropped from
// `decisions` (Dropped tells whether any were); a listing with gaps proves
// nothing gone.
struct TMailboxDecisions {
  std::set<std::int64_t> Remove;
  std::set<std::int64_t> Keep;
  std::set<std::int64_t> Review;  // left out before, still undecided
  bool Dropped = false;
};
TMailboxDecisions MatchDecisions(TDecisions& decisions, const TextLines& uidlListing,
                                 bool complete);

// Records one decision; false (and nothing recorded) for a UID that names
// no single message: "0" (none known), empty, or one of `duplicates`.
bool RecordDecision(TDecisions& decisions, const std::string& uid, TDecision decision,
                    const std::set<std::string>& duplicates);

}  // namespace qb
