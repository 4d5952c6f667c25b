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

bool SpamFlagAt(const TextLines& spamFlags, std::size_t index) {
  return index < spamFlags.size() && spamFlags[index] == "1";
}

}  // namespace

bool PrefixMatches(std::string_view entry, std::string_view text) {
  return !entry.empty() && StartsWithIgnoringAsciiCase(text, entry);
}

bool AnyPrefixMatches(const TextLines& entries, std::string_view text) {
  return std::any_of(entries.begin(), entries.end(),
                     [text](const std::string& entry) { return PrefixMatches(entry, text); });
}

MessageCategory ClassifyRow(const MessageRow& row, const ScreeningState& state,
                            bool listedByDnsbl) {
  if (IsPossibleVirus(row, state.VirusList)) return MessageCategory::mcVirus;
  if (listedByDnsbl) return MessageCategory::mcSpam;
  if (AnyPrefixMatches(state.SenderList, row.From)) return MessageCategory::mcBlockedSender;
  if (AnyPrefixMatches(state.RecipientList, row.To)) return MessageCategory::mcBlockedRecipient;
  if (AnyPrefixMatches(state.SubjectList, row.Subject)) return MessageCategory::mcBlockedSubject;
  return MessageCategory::mcUseful;
}

void Listele(ReviewList& review, const ScreeningState& state) {
  const std::map<std::int64_t, std::string> uids = UidsByNumber(state.UidlReply);
  for (std::size_t i = 0; i < review.Count(); ++i) {
    MessageRow& row = review[i];
    row.CategoryIcon = ClassifyRow(row, state, SpamFlagAt(state.SpamFlags, i));
    row.Checked = IsTicked(row.CategoryIcon);
    std::optional<std::int64_t> number = MessageNumberOf(row.MessageNumber);
    auto uid = number ? uids.find(*number) : uids.end();
    if (uid != uids.end()) row.Uid = uid->second;
  }
  review.SortColumn = ReviewList::kSizeColumn;
  review.Sort();
}

}  // namespace qb
