#include "screening/Classification.h"

#include <algorithm>
#include <map>
#include <optional>

#include "screening/DangerousAttachments.h"
#include "screening/Listing.h"
#include "screening/Pop3Command.h"

namespace qb {

namespace {

bool IsTicked(MessageCategory category) {
  return category != MessageCategory::mcUseful && category != MessageCategory::mcPending;
}

bool IsPossibleVirus(const MessageRow& row, const TextLines& virusList) {
  std::optional<std::int64_t> size = ParseWholeNumber(row.Size);
  return size && *size > kVirusMinimumSize && AnyPrefixMatches(virusList, row.Subject);
}

// The block lists in the order they are tried; a sender entry matches the
// display name as well as the address.
struct BlockRule {
  TextLines ScreeningState::*List;
  std::string MessageRow::*Field;
  std::string MessageRow::*AlsoField;  // nullptr: the one field only
  MessageCategory Category;
};
constexpr BlockRule kBlockRules[] = {
    {&ScreeningState::SenderList, &MessageRow::From, &MessageRow::FromName,
     MessageCategory::mcBlockedSender},
    {&ScreeningState::RecipientList, &MessageRow::To, nullptr, MessageCategory::mcBlockedRecipient},
    {&ScreeningState::SubjectList, &MessageRow::Subject, nullptr,
     MessageCategory::mcBlockedSubject},
};

const std::string* BlockEntryFor(const BlockRule& rule, const MessageRow& row,
                                 const ScreeningState& state) {
  const TextLines& entries = state.*rule.List;
  const std::string* entry = FirstPrefixMatch(entries, row.*rule.Field);
  if (entry == nullptr && rule.AlsoField != nullptr && !(row.*rule.AlsoField).empty()) {
    entry = FirstPrefixMatch(entries, row.*rule.AlsoField);
  }
  return entry;
}

// The two virus rules: a known subject on a message of some size, and an
// attachment of a dangerous type.
std::optional<TClassification> VirusRule(const MessageRow& row, const ScreeningState& state) {
  if (IsPossibleVirus(row, state.VirusList)) {
    return TClassification{MessageCategory::mcVirus,
                           *FirstPrefixMatch(state.VirusList, row.Subject)};
  }
  if (const std::string* ending = FirstDangerousEnding(state.AttachmentList, row.Attachments)) {
    return TClassification{MessageCategory::mcVirus, *ending};
  }
  return std::nullopt;
}

bool SpamFlagAt(const TextLines& spamFlags, std::size_t index) {
  return index < spamFlags.size() && spamFlags[index] == "1";
}

}  // namespace

bool PrefixMatches(std::string_view entry, std::string_view text) {
  return !entry.empty() && StartsWithIgnoringAsciiCase(text, entry);
}

bool AnyPrefixMatches(const TextLines& entries, std::string_view text) {
  return FirstPrefixMatch(entries, text) != nullptr;
}

const std::string* FirstPrefixMatch(const TextLines& entries, std::string_view text) {
  auto found = std::find_if(entries.begin(), entries.end(), [text](const std::string& entry) {
    return PrefixMatches(entry, text);
  });
  return found == entries.end() ? nullptr : &*found;
}

bool IsFriend(const TextLines& friendList, std::string_view address) {
  std::string_view trimmed = TrimAsciiSpace(address);
  if (trimmed.empty()) return false;
  return std::any_of(friendList.begin(), friendList.end(), [trimmed](const std::string& line) {
    std::string_view entry = TrimAsciiSpace(line);
    if (entry.starts_with('@') && entry.size() > 1 && trimmed.size() > entry.size()) {
      return EqualsIgnoringAsciiCase(trimmed.substr(trimmed.size() - entry.size()), entry);
    }
    return !entry.empty() && EqualsIgnoringAsciiCase(entry, trimmed);
  });
}

MessageCategory ClassifyRow(const MessageRow& row, const ScreeningState& state,
                            bool listedByDnsbl) {
  return ClassifyRowWithRule(row, state, listedByDnsbl).Category;
}

TClassification ClassifyRowWithRule(const MessageRow& row, const ScreeningState& state,
                                    bool listedByDnsbl) {
  using enum MessageCategory;
  // Worms send from addresses their victims know: a friend lifts the block
  // lists and the DNS block list, never the virus rules.
  if (std::optional<TClassification> virus = VirusRule(row, state)) return *virus;
  if (IsFriend(state.FriendList, row.From)) return {mcUseful, ""};
  if (listedByDnsbl) return {mcSpam, row.ListedRelay};
  for (const BlockRule& rule : kBlockRules) {
    if (const std::string* entry = BlockEntryFor(rule, row, state)) return {rule.Category, *entry};
  }
  return {mcUseful, ""};
}

void Listele(ReviewList& review, const ScreeningState& state) {
  const std::map<std::int64_t, std::string> uids = UidsByNumber(state.UidlReply);
  for (std::size_t i = 0; i < review.Count(); ++i) {
    MessageRow& row = review[i];
    TClassification classification =
        ClassifyRowWithRule(row, state, SpamFlagAt(state.SpamFlags, i));
    row.CategoryIcon = classification.Category;
    row.Rule = std::move(classification.Rule);
    row.Checked = IsTicked(row.CategoryIcon);
    auto uid = uids.find(row.Number);
    if (uid != uids.end()) row.Uid = uid->second;
  }
  review.SortColumn = ReviewColumn::Size;
  review.SortDescending = false;
  review.Sort();
}

}  // namespace qb
