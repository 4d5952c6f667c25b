// The RFC 1939 state machine of one scripted POP3 session, without any I/O:
// a command line goes in, the reply and what the server must do come out.
#pragma once

#include "support/Pop3Mailbox.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::test {

struct Pop3Credentials {
  std::string User = "alice";
  std::string Password = "secret";
};

struct Pop3Outcome {
  std::string Reply;  // complete, with CR LF (and the terminator of a multi-line reply)
  bool EndsSession = false;
  // Set by QUIT in the transaction state: the messages to remove before the reply goes out.
  std::vector<std::uint64_t> KeysToRemove = {};
};

class ScriptedPop3Session {
 public:
  ScriptedPop3Session(Pop3Mailbox& mailbox, Pop3Credentials credentials);

  Pop3Outcome Handle(std::string_view line);

 private:
  struct Entry {
    StoredPop3Message Stored;
    bool Deleted = false;
  };

  Pop3Outcome HandleAuthorization(std::string_view keyword,
                                  const std::vector<std::string_view>& arguments);
  Pop3Outcome HandleTransaction(std::string_view keyword,
                                const std::vector<std::string_view>& arguments);
  Pop3Outcome Pass(const std::vector<std::string_view>& arguments);
  Pop3Outcome Stat() const;
  Pop3Outcome Listing(const std::vector<std::string_view>& arguments, bool uids) const;
  Pop3Outcome Top(const std::vector<std::string_view>& arguments) const;
  Pop3Outcome Retr(const std::vector<std::string_view>& arguments) const;
  Pop3Outcome Dele(const std::vector<std::string_view>& arguments);
  Pop3Outcome Rset();
  Pop3Outcome Quit() const;

  // The index into entries_ of the live (not deleted) message a
  // message-number argument names.
  std::optional<std::size_t> LiveIndex(std::string_view number) const;
  std::string ListingLine(std::size_t number, bool uids) const;

  Pop3Mailbox& mailbox_;
  Pop3Credentials credentials_;
  std::optional<std::string> user_;
  bool loggedIn_ = false;
  std::vector<Entry> entries_;
};

}  // namespace qb::test
