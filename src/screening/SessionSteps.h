// The steps of a screened session, named once: what the session does with
// the reply to the command it has in flight upstream, the text the session's
// LastCommand shows for each step, and which step may follow which.
//
//   greeting ──> relay (the login line's reply) ──> relay | relay-whole | retrieve
//                                                    | delete-instead | list
//   list ──> uidl ──> header ──> header ... ──> (review: the LIST reply held)
//   (review) ──> [copy ──>] remove ──> [copy ──>] remove ... ──> (the LIST reply released)
//   a RETR of a ticked message: [copy ──>] delete-instead
//   a failed listing, a refused TOP or an empty mailbox end the scan early.
//   uidl | header ──> [copy ──>] remove ...: the removals decided at an
//   earlier review, once nothing (more) is to be reviewed or the hold ends.
//   (waiting for the review) ──> keep-alive ──> (waiting for the review)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

enum class TSessionStep : std::uint8_t {
  ssIdle,           // no command in flight upstream
  ssGreeting,       // the server's greeting: answered with the login line
  ssRelay,          // the client's command: the reply is relayed as it arrives
  ssRelayWhole,     // the client's command whose reply names messages: read whole, renumbered
  ssRetrieve,       // the client's RETR: relayed; "+OK" makes its UID the account's marker
  ssDeleteInstead,  // a DELE standing in for the client's RETR: the client gets "-ERR"
  ssList,           // the client's bare LIST: its reply is held back and the scan begins
  ssUidl,           // the scan's UIDL listing
  ssHeader,         // the scan's TOP n k of one message (TopReply.h)
  ssRemove,         // a DELE of "Remove Checked", before the LIST reply is released
  ssCopy,           // a RETR that copies a ticked message into removed/ before its DELE
  ssKeepAlive,      // a NOOP that keeps the server session alive during a review
};

// The step's name as the code spells it ("ssHeader"), for traces.
const char* StepName(TSessionStep step);

// In a Debug build, with QUILLBRIGHT_TRACE_STEPS set in the environment,
// one line on standard error per change of step: the session's serial and
// both steps by name. Nothing in other builds.
void TraceStep(std::uint64_t session, TSessionStep from, TSessionStep to);

// The LastCommand text of a step ("*UIDL", "*LIST", "*DELE 3", ...); the
// client's own line for the steps that relay it.
std::string LastCommandText(TSessionStep step, std::string_view clientLine, std::int64_t number);

// Whether `next` may follow `current` (the table above).
bool StepMayFollow(TSessionStep current, TSessionStep next);

// Whether the reply of the step is read whole by the session (and bounded
// in time and size) rather than relayed as it arrives.
bool StepReadsWholeReply(TSessionStep step);

}  // namespace qb
