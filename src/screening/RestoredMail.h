// Copies of removed mail marked for delivery. A copy moved into the program
// folder's removed/deliver/ folder (by "Deliver again", or by hand) is added
// to what the mail client sees at the next session of its account: after
// the server's messages, numbered after the last of them, each with a UID of
// its own. The gateway answers every command that names such a message
// itself (RETR, TOP, DELE, LIST n, UIDL n) and adds the messages to the
// server's STAT, LIST and UIDL replies. Once the client has retrieved or
// deleted one and ended with QUIT, its copy goes back to removed/.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "screening/Pop3Command.h"

namespace qb {

inline constexpr const char* kDeliverFolder = "removed/deliver/";

struct TRestoredCopy {
  std::string Name;       // the copy's file name in removed/deliver/
  std::string Uid;        // the UID the client is listed
  std::int64_t Size = 0;  // the octets of the message as it is sent
  std::string From;       // for the log line of its delivery
  std::string Subject;
  bool Retrieved = false;
  bool Deleted = false;  // by the client's DELE, until an RSET
};

// The account (trimmed) of each copy removed.log names, by copy name.
using TCopyAccounts = std::map<std::string, std::string>;
TCopyAccounts LoggedCopyAccounts(const std::string& logPath);

// Whether a copy's file name ("<yyyymmdd-hhmmss>-<account>-<uid>.eml", as
// the removal named it, RemovedCopyName) belongs to exactly that account. A
// name of the older form, whose account part has no hash, belongs to it
// only when its log line (`loggedAccounts`) names that account.
bool IsCopyOfAccount(std::string_view name, std::string_view accountText,
                     const TCopyAccounts& loggedAccounts = {});

// The account's copies in the program folder's removed/deliver/, oldest
// first; files that cannot be read are passed over.
std::vector<TRestoredCopy> MarkedCopiesOf(const std::string& programFolder,
                                          std::string_view accountText);

// The message as a POP3 server sends it: every line ends with CR LF (a copy
// put there by hand may have bare LFs). A copy the gateway wrote is sent
// byte for byte.
std::string MessageForDelivery(std::string_view bytes);

// A positive RETR reply of the message, dot-stuffed; with `bodyLines`, the
// TOP reply: the header, the blank line and that many lines of the body.
std::string MessageReply(std::string_view message, std::optional<std::int64_t> bodyLines);

// Moves removed/<name> into removed/deliver/ (made when missing), and back;
// false when the copy is not there or cannot be moved.
bool MarkForDelivery(const std::string& programFolder, const std::string& name);
bool ReturnDeliveredCopy(const std::string& programFolder, const std::string& name);

// The restored messages of one session, numbered from FirstNumber on.
class TRestoredDelivery {
 public:
  void Start(std::vector<TRestoredCopy> copies, std::int64_t firstNumber);
  bool Any() const { return !copies_.empty(); }

  // The gateway's own reply to a command that names a restored message
  // (`deliverFolder` holds its copy); nullopt for every other command.
  std::optional<std::string> Answer(const TPop3Command& command, const std::string& deliverFolder);
  // A bare LIST or UIDL reply with the restored messages' lines added
  // before its end; a STAT reply counting them.
  std::string WithListing(const std::string& reply, bool uidl) const;
  std::string WithStat(const std::string& reply) const;
  // RSET: the client's deletions of restored messages are undone.
  void Undelete();
  // The copies whose delivery the client's QUIT ends: retrieved or deleted.
  std::vector<TRestoredCopy> Ended() const;

 private:
  TRestoredCopy* Find(std::optional<std::int64_t> number);
  std::optional<std::string> AnswerFor(const TPop3Command& command, TRestoredCopy& copy,
                                       std::int64_t number, const std::string& deliverFolder);

  std::vector<TRestoredCopy> copies_;
  std::int64_t firstNumber_ = 1;
};

}  // namespace qb
