// Classifying the scanned messages: the block and signature lists are
// matched as prefixes, attachment names against the dangerous endings, the
// stored DNS block-list outcome decides spam, and each row gets its category
// icon and tick. The virus rules come first; a friend lifts the rest.
#pragma once

#include <string_view>

#include "screening/ReviewList.h"
#include "screening/ScreeningState.h"

namespace qb {

// Messages of this size or less are never taken for a virus.
constexpr std::int64_t kVirusMinimumSize = 6000;

// Whether the text begins with the entry, ignoring the case of a to z; an
// empty entry never matches.
bool PrefixMatches(std::string_view entry, std::string_view text);
bool AnyPrefixMatches(const TextLines& entries, std::string_view text);

// The first entry that matches the text as a prefix; nullptr when none does.
const std::string* FirstPrefixMatch(const TextLines& entries, std::string_view text);

// Whether the address is a friend's: an entry equal to it, or an "@domain"
// entry that it ends with (both ignoring case).
bool IsFriend(const TextLines& friendList, std::string_view address);

// The category of one row from the lists and the row's DNS outcome.
MessageCategory ClassifyRow(const MessageRow& row, const ScreeningState& state, bool listedByDnsbl);

// The category and the rule that gave it: the matching list entry (for a
// dangerous attachment its ending), or the row's listed relay address for
// spam; a friend's message is useful unless a virus rule ticks it.
struct TClassification {
  MessageCategory Category = MessageCategory::mcUseful;
  std::string Rule;
};
TClassification ClassifyRowWithRule(const MessageRow& row, const ScreeningState& state,
                                    bool listedByDnsbl);

// The classification pass over the rows, which are in scan order: row i has
// the DNS outcome SpamFlags[i]. Sets each row's icon, tick and Uid (from the
// UidlReply line of the row's message number) and Rule, then sorts by "Size".
void Listele(ReviewList& review, const ScreeningState& state);

}  // namespace qb
