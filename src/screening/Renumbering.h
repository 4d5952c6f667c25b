// The message numbers a client sees once messages were removed before its
// first listing. Removed messages are gone from the server's own listings
// (a message marked as deleted is not listed), but clients such as mpop
// count on numbers 1 to n that match the count STAT gave. So the client
// sees the remaining messages numbered 1 to m in the server's order, and
// every number in its commands and in the server's replies is translated.
// Without removals the numbering is the server's own and nothing changes.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "screening/Pop3Command.h"
#include "screening/ScreeningText.h"

namespace qb {

class TRenumbering {
 public:
  TRenumbering() = default;
  // From the held LIST reply, the numbers the server deleted and those left
  // out of what the client sees (still on the server, for a later review).
  TRenumbering(const TextLines& listing, const std::set<std::int64_t>& removed,
               const std::set<std::int64_t>& leftOut = {});

  bool Active() const { return active_; }
  // The client's number of the last server message it sees; 0 for none.
  std::int64_t LastVisibleNumber() const;
  std::optional<std::int64_t> ToServer(std::int64_t visible) const;
  std::optional<std::int64_t> ToVisible(std::int64_t server) const;

  // Whether the command names a message (RETR, TOP, DELE, LIST n, UIDL n)
  // or its reply does (a bare LIST or UIDL listing, LIST n, UIDL n).
  static bool CarriesNumbers(const TPop3Command& command);
  // The client's line with its message number translated; a number the
  // client cannot see becomes 0, which no server has.
  std::string CommandToServer(const TPop3Command& command, const std::string& line) const;
  // The server's reply with its message numbers translated back: listing
  // lines of messages the client does not see are left out.
  std::string ReplyToClient(const std::string& reply, bool listing) const;
  // A "+OK" to STAT without the messages left out: the server counts them,
  // but not what it deleted for "Remove Checked" or for the client's DELE.
  std::string StatToClient(const std::string& reply) const;

 private:
  bool active_ = false;
  std::vector<std::int64_t> visible_;  // server numbers; index + 1 is the client's number
  std::int64_t leftOutCount_ = 0;
  std::int64_t leftOutOctets_ = 0;
};

}  // namespace qb
