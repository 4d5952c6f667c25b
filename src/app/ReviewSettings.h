// The settings of the review: how long a mail client's command may be held
// for a review before it is answered without the messages under review, and
// whether the program checks the accounts ahead of the mail client.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace qb {

// QUILLBRIGHT_REVIEW_HOLD, in whole seconds from 1 to 540; anything else
// (unset, empty, not a number, out of range) gives `fallback`.
std::chrono::milliseconds ReviewHoldSetting(std::chrono::milliseconds fallback);

// The same reading of one text.
std::optional<std::chrono::seconds> ParseReviewHold(std::string_view text);

// Checking ahead, which also lets the program keep the passwords of the
// accounts in the desktop's secret store: QUILLBRIGHT_CHECK_AHEAD "on"
// (every 10 minutes) or whole minutes from 1 to 1440; anything else, and
// unset, is off.
std::optional<std::chrono::minutes> CheckAheadSetting();
std::optional<std::chrono::minutes> ParseCheckAhead(std::string_view text);

}  // namespace qb
