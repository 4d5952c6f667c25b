#include "support/Pop3Mailbox.h"

#include <algorithm>

namespace qb::test {

namespace {

std::string GeneratedUid(std::uint64_t key) {
  std::string digits = std::to_string(key);
  return "QB" + std::string(digits.size() < 6 ? 6 - digits.size() : 0, '0') + digits;
}

}  // namespace

std::string Pop3Mailbox::Add(std::string bytes, std::string uid) {
  std::lock_guard guard(lock_);
  std::uint64_t key = nextKey_++;
  if (uid.empty()) uid = GeneratedUid(key);
  messages_.push_back({key, {std::move(bytes), uid}});
  return uid;
}

std::vector<StoredPop3Message> Pop3Mailbox::Snapshot() const {
  std::lock_guard guard(lock_);
  return messages_;
}

std::vector<Pop3Message> Pop3Mailbox::Messages() const {
  std::lock_guard guard(lock_);
  std::vector<Pop3Message> result;
  result.reserve(messages_.size());
  for (const StoredPop3Message& stored : messages_) result.push_back(stored.Message);
  return result;
}

void Pop3Mailbox::Remove(const std::vector<std::uint64_t>& keys) {
  std::lock_guard guard(lock_);
  std::erase_if(messages_, [&](const StoredPop3Message& stored) {
    return std::find(keys.begin(), keys.end(), stored.Key) != keys.end();
  });
}

}  // namespace qb::test
