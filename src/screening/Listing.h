// Reading the lines of a POP3 listing (a LIST or UIDL reply): a status line,
// one line per message ("number size" or "number uid"), and ".". Message
// numbers are taken from each line's first field, never from its position:
// after a DELE a listing has gaps, and a server may list in any order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "screening/ScreeningText.h"

namespace qb {

// The message number of a listing line (its first field, as a number).
std::optional<std::int64_t> ListingNumber(const std::string& line);

// The text after the first blank of a line; the whole line when it has none.
std::string AfterFirstBlank(const std::string& line);

// The UIDs of a UIDL listing by message number. A number listed twice keeps
// the UID of its first line.
std::map<std::int64_t, std::string> UidsByNumber(const TextLines& uidlListing);

// The message count and octets of a STAT reply.
struct TMailboxSize {
  std::int64_t Count = 0;
  std::int64_t Octets = 0;
};
// Those of a "+OK count octets" reply; nullopt for any other.
std::optional<TMailboxSize> StatOf(const std::string& reply);
// "+OK count octets" and CR LF.
std::string StatReply(TMailboxSize size);

// A LIST listing (status line, "number size" lines, "." and CR LF each)
// whose status line names a count ("+OK 8 messages"), with that line
// counting the lines the listing holds: "+OK 4 messages (480 octets)".
// Any other reply is returned as it is.
std::string WithCountedStatus(const std::string& listing);

}  // namespace qb
