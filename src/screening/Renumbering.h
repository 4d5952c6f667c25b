// The message numbers a client sees once messages were removed before its
// first listing. Removed messages are gone from the server's own listings
// (a message marked as deleted is not listed), but clients such as mpop
// count on numbers 1 to n that match the count STAT gave. So the client
// sees the remaining messages numbered 1 to m in the server's order, and
// every number in its commands and in the server's replies is translated.
// Without removals the numbering is the server's own and nothing changes.
// Either way a number the client was not shown names no message: the
// gateway answers it, and it never reaches the server.
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
  // The server's number of the client's; nullopt for one it was not shown
  // (any number passes before the client has been shown a listing).
  std::optional<std::int64_t> ToServer(std::int64_t visible) const;
  std::optional<std::int64_t> ToVisible(std::int64_t server) const;

  // The server's number of the message a command names (RETR, TOP, DELE,
  // LIST n, UIDL n); nullopt when its number is none the client was shown.
  std::optional<std::int64_t> ServerNumberOf(const TPop3Command& command) const;
  // The command that names a message, with the server's number for it.
  static std::string CommandToServer(const TPop3Command& command, std::int64_t serverNumber);
  // The server's reply with its message numbers translated back: listing
  // lines of messages the client does not see are left out.
  std::string ReplyToClient(const std::string& reply, bool listing) const;
  // A "+OK" to STAT without the messages left out: the server counts them,
  // but not what it deleted for "Remove Checked" or for the client's DELE.
  std::string StatToClient(const std::string& reply) const;

 private:
  bool active_ = false;
  bool listed_ = false;                // built from a listing
  std::vector<std::int64_t> visible_;  // server numbers; index + 1 is the client's number
  std::int64_t leftOutCount_ = 0;
  std::int64_t leftOutOctets_ = 0;
};

}  // namespace qb
