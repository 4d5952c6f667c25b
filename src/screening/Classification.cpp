#include "screening/Classification.h"

#include <algorithm>
#include <map>

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

// The block lists in the order they are tried.
struct BlockRule {
  TextLines ScreeningState::*List;
  std::string MessageRow::*Field;
  MessageCategory Category;
};
constexpr BlockRule kBlockRules[] = {
    {&ScreeningState::SenderList, &MessageRow::From, MessageCategory::mcBlockedSender},
    {&ScreeningState::RecipientList, &MessageRow::To, MessageCategory::mcBlockedRecipient},
    {&ScreeningState::SubjectList, &MessageRow::Subject, MessageCategory::mcBlockedSubject},
};

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
  if (IsFriend(state.FriendList, row.From)) return {mcUseful, ""};
  if (IsPossibleVirus(row, state.VirusList)) {
    return {mcVirus, *FirstPrefixMatch(state.VirusList, row.Subject)};
  }
  if (listedByDnsbl) return {mcSpam, row.ListedRelay};
  for (const BlockRule& rule : kBlockRules) {
    if (const std::string* entry = FirstPrefixMatch(state.*rule.List, row.*rule.Field)) {
      return {rule.Category, *entry};
    }
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
    std::optional<std::int64_t> number = MessageNumberOf(row.MessageNumber);
    auto uid = number ? uids.find(*number) : uids.end();
    if (uid != uids.end()) row.Uid = uid->second;
  }
  review.SortColumn = ReviewColumn::Size;
  review.SortDescending = false;
  review.Sort();
}

}  // namespace qb
