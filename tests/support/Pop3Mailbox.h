// The messages of a scripted POP3 server: a thread-safe store shared by all
// sessions. Each session takes a snapshot at login and removes the messages
// it deleted when it quits, as a maildrop lock would make it look.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qb::test {

struct Pop3Message {
  std::string Bytes;  // the message as stored: CR LF line ends, not dot-stuffed
  std::string Uid;
};

// A message together with the store's own key for it, so that removal never
// depends on UIDs being unique.
struct StoredPop3Message {
  std::uint64_t Key = 0;
  Pop3Message Message;
};

class Pop3Mailbox {
 public:
  // Appends a message; an empty uid is replaced by a generated one, which is returned.
  std::string Add(std::string bytes, std::string uid);
  std::vector<StoredPop3Message> Snapshot() const;
  std::vector<Pop3Message> Messages() const;
  void Remove(const std::vector<std::uint64_t>& keys);

 private:
  mutable std::mutex lock_;
  std::vector<StoredPop3Message> messages_;
  std::uint64_t nextKey_ = 1;
};

}  // namespace qb::test
