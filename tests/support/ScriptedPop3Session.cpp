#include "support/ScriptedPop3Session.h"

#include "support/Pop3Text.h"

namespace qb::test {

namespace {

Pop3Outcome Ok(std::string text = {}) {
  return {text.empty() ? "+OK\r\n" : "+OK " + text + "\r\n"};
}

Pop3Outcome Err(const std::string& text) {
  return {"-ERR " + text + "\r\n"};
}

// The header of a message and the first `lines` lines of its body.
std::string TopOf(std::string_view message, std::size_t lines) {
  std::size_t headerEnd = message.find("\r\n\r\n");
  if (headerEnd == std::string_view::npos) return std::string(message);
  std::size_t end = headerEnd + 4;
  for (std::size_t i = 0; i < lines && end < message.size(); ++i) {
    std::size_t lineEnd = message.find("\r\n", end);
    end = lineEnd == std::string_view::npos ? message.size() : lineEnd + 2;
  }
  return std::string(message.substr(0, end));
}

}  // namespace

ScriptedPop3Session::ScriptedPop3Session(Pop3Mailbox& mailbox, Pop3Credentials credentials)
    : mailbox_(mailbox), credentials_(std::move(credentials)) {}

Pop3Outcome ScriptedPop3Session::Handle(std::string_view line) {
  std::vector<std::string_view> words = CommandWords(line);
  if (words.empty()) return Err("Empty command");
  std::string keyword = UpperAscii(words[0]);
  std::vector<std::string_view> arguments(words.begin() + 1, words.end());
  return loggedIn_ ? HandleTransaction(keyword, arguments)
                   : HandleAuthorization(keyword, arguments);
}

Pop3Outcome ScriptedPop3Session::HandleAuthorization(
    std::string_view keyword, const std::vector<std::string_view>& arguments) {
  if (keyword == "USER") {
    if (arguments.size() != 1) return Err("USER takes one argument");
    user_ = std::string(arguments[0]);
    return Ok();
  }
  if (keyword == "PASS") return Pass(arguments);
  if (keyword == "QUIT") return Quit();
  return Err("Unknown command or not logged in");
}

Pop3Outcome ScriptedPop3Session::HandleTransaction(std::string_view keyword,
                                                   const std::vector<std::string_view>& arguments) {
  if (keyword == "STAT" && arguments.empty()) return Stat();
  if (keyword == "LIST" && arguments.size() <= 1) return Listing(arguments, false);
  if (keyword == "UIDL" && arguments.size() <= 1) return Listing(arguments, true);
  if (keyword == "TOP" && arguments.size() == 2) return Top(arguments);
  if (keyword == "RETR" && arguments.size() == 1) return Retr(arguments);
  if (keyword == "DELE" && arguments.size() == 1) return Dele(arguments);
  if (keyword == "NOOP" && arguments.empty()) return Ok();
  if (keyword == "RSET" && arguments.empty()) return Rset();
  if (keyword == "QUIT") return Quit();
  return Err("Unknown command or wrong arguments");
}

Pop3Outcome ScriptedPop3Session::Pass(const std::vector<std::string_view>& arguments) {
  if (!user_) return Err("No user name given");
  // The password is the rest of the line in RFC 1939; one word is enough for tests.
  bool accepted =
      *user_ == credentials_.User && arguments.size() == 1 && arguments[0] == credentials_.Password;
  user_.reset();
  if (!accepted) return Err("Authentication failed");
  loggedIn_ = true;
  for (StoredPop3Message& stored : mailbox_.Snapshot()) entries_.push_back({std::move(stored)});
  return Ok("Logged in");
}

Pop3Outcome ScriptedPop3Session::Stat() const {
  std::size_t count = 0;
  std::size_t octets = 0;
  for (const Entry& entry : entries_) {
    if (entry.Deleted) continue;
    ++count;
    octets += entry.Stored.Message.Bytes.size();
  }
  return Ok(std::to_string(count) + " " + std::to_string(octets));
}

std::string ScriptedPop3Session::ListingLine(std::size_t number, bool uids) const {
  const Pop3Message& message = entries_[number - 1].Stored.Message;
  return std::to_string(number) + " " + (uids ? message.Uid : std::to_string(message.Bytes.size()));
}

Pop3Outcome ScriptedPop3Session::Listing(const std::vector<std::string_view>& arguments,
                                         bool uids) const {
  if (!arguments.empty()) {
    std::optional<std::size_t> index = LiveIndex(arguments[0]);
    if (!index) return Err("No such message");
    return Ok(ListingLine(*index + 1, uids));
  }
  std::string reply = "+OK\r\n";
  for (std::size_t number = 1; number <= entries_.size(); ++number) {
    if (!entries_[number - 1].Deleted) reply += ListingLine(number, uids) + "\r\n";
  }
  return {reply + ".\r\n"};
}

Pop3Outcome ScriptedPop3Session::Top(const std::vector<std::string_view>& arguments) const {
  std::optional<std::size_t> index = LiveIndex(arguments[0]);
  if (!index) return Err("No such message");
  std::optional<std::size_t> lines = ParseCount(arguments[1]);
  if (!lines) return Err("Invalid line count");
  return {"+OK\r\n" + DotStuffedBody(TopOf(entries_[*index].Stored.Message.Bytes, *lines))};
}

Pop3Outcome ScriptedPop3Session::Retr(const std::vector<std::string_view>& arguments) const {
  std::optional<std::size_t> index = LiveIndex(arguments[0]);
  if (!index) return Err("No such message");
  const std::string& bytes = entries_[*index].Stored.Message.Bytes;
  return {"+OK " + std::to_string(bytes.size()) + " octets\r\n" + DotStuffedBody(bytes)};
}

Pop3Outcome ScriptedPop3Session::Dele(const std::vector<std::string_view>& arguments) {
  std::optional<std::size_t> index = LiveIndex(arguments[0]);
  if (!index) return Err("No such message");
  entries_[*index].Deleted = true;
  return Ok("Marked to be deleted");
}

Pop3Outcome ScriptedPop3Session::Rset() {
  for (Entry& entry : entries_) entry.Deleted = false;
  return Ok();
}

Pop3Outcome ScriptedPop3Session::Quit() const {
  Pop3Outcome outcome = Ok("Logging out");
  outcome.EndsSession = true;
  for (const Entry& entry : entries_) {
    if (entry.Deleted) outcome.KeysToRemove.push_back(entry.Stored.Key);
  }
  return outcome;
}

std::optional<std::size_t> ScriptedPop3Session::LiveIndex(std::string_view number) const {
  std::optional<std::size_t> parsed = ParseCount(number);
  if (!parsed || *parsed == 0 || *parsed > entries_.size()) return std::nullopt;
  std::size_t index = *parsed - 1;
  if (entries_[index].Deleted) return std::nullopt;
  return index;
}

}  // namespace qb::test
