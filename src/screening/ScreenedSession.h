// One mail client's screened session, as the screening keeps it beside the
// gateway's session: the client's commands that wait for the one before
// them, the step of the command in flight upstream and its reply, and what
// the session keeps of its own scan and review.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gateway/MailGW.h"
#include "screening/Pop3Command.h"
#include "screening/RemovedMail.h"
#include "screening/Renumbering.h"
#include "screening/ReplyFraming.h"
#include "screening/RestoredMail.h"
#include "screening/ReviewList.h"
#include "screening/ScreeningState.h"
#include "screening/ScreeningText.h"
#include "screening/SessionSteps.h"

namespace qb {

// What one session's scan has read so far: scans of several sessions run
// side by side, each with its own listings, rows and block-list lookups.
struct TMailboxScan {
  TextLines ListReply;  // "+OK ...", one "number size" line per message, "."
  TextLines UidlReply;  // same shape with "number uid" lines
  TextLines SpamFlags;  // "1" or "0" per row, in scan order
  MessageSizeTable Sizes;
  int Position = 1;                     // the line of ListReply whose header is asked next
  ReviewList Rows;                      // in scan order until the scan completes
  std::set<std::uint64_t> RelayChecks;  // the lookups that have not answered
  bool HeadersDone = false;             // the scan waits only for RelayChecks
};

class TScreenedSession : public TSessionData {
 public:
  using Clock = std::chrono::steady_clock;

  TScreenedSession(TMailGWClient& client, WPARAM serial) : Client(client), Serial(serial) {}

  TMailGWClient& Client;
  const WPARAM Serial;      // names the session's reply timer
  std::string AccountText;  // what its USER line gave after "USER ", line end included

  // The client's side: one command at a time.
  struct TClientLine {
    std::string Line;
    TPop3Command Command;  // the line, parsed once
  };
  std::deque<TClientLine> WaitingLines;  // lines sent before the reply to the one before
  std::string ClientLine;                // the command being carried out
  TPop3Command Command;                  // that line, parsed
  bool ClientWaiting = true;             // that command (at first the login) waits for its reply
  bool RepliedInPart = false;            // bytes of the reply have reached the client

  // The server's side: the step of the command in flight and its reply.
  TSessionStep Step = TSessionStep::ssGreeting;
  bool InFlight = true;     // a command (at first the greeting) waits for its reply
  std::int64_t Number = 0;  // the server's number of the message the step names
  TReplyFraming Framing;
  std::string Reply;  // a reply the session reads whole, so far
  Clock::time_point ReplyStarted;
  Clock::time_point LastPiece;

  // The session's own scan and review. The scan runs once, at the first
  // command that shows the mailbox (STAT, LIST or UIDL), which waits.
  bool Scanned = false;
  TMailboxScan Scan;
  TextLines HeldList;                           // its LIST reply, held back
  std::map<std::int64_t, std::string> RowUids;  // its scanned messages' UIDs by number
  std::deque<std::int64_t> Removals;            // what "Remove Checked" still deletes
  std::set<std::int64_t> Removed;               // what the server has deleted
  std::size_t RemovalsRefused = 0;
  TSessionRemovals Copies;     // the copies and log lines of its deletions
  TRenumbering Numbering;      // the client's numbers once messages were removed
  TRestoredDelivery Restored;  // removed messages delivered again, after the server's

  // The review's bounds (ReviewHold.cpp): the command that waits for the
  // review is answered once the hold limit has passed, without the messages
  // still under review; the server hears a NOOP now and then meanwhile.
  Clock::time_point HoldStarted;
  Clock::time_point LastKeepAlive;
  bool HoldTimed = false;           // the hold timer runs
  bool HoldExpired = false;         // the limit has passed: answer as soon as the session can
  bool RemovePressed = false;       // "Remove Checked" came while a NOOP was in flight
  std::set<std::int64_t> ToReview;  // the messages this scan shows for review
  std::set<std::int64_t> DecidedRemovals;  // decided "remove" at an earlier review
  std::set<std::int64_t> LeftOut;          // undecided, not listed to the client
};

// The session record of a gateway session; nullptr before the screening
// has seen it.
TScreenedSession* ScreenedSessionOf(TMailGWClient& client);

}  // namespace qb
