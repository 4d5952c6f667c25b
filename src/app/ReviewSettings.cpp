#include "app/ReviewSettings.h"

#include <cstdlib>

#include "screening/ScreeningText.h"

namespace qb {

namespace {

constexpr std::int64_t kLongestHoldSeconds = 540;  // a server session is never held longer

}  // namespace

std::optional<std::chrono::seconds> ParseReviewHold(std::string_view text) {
  std::optional<std::int64_t> seconds = ParseWholeNumber(text);
  if (!seconds || *seconds < 1 || *seconds > kLongestHoldSeconds) return std::nullopt;
  return std::chrono::seconds(*seconds);
}

std::optional<std::chrono::minutes> ParseCheckAhead(std::string_view text) {
  if (text == "on") return std::chrono::minutes(10);
  std::optional<std::int64_t> minutes = ParseWholeNumber(text);
  if (!minutes || *minutes < 1 || *minutes > 1440) return std::nullopt;
  return std::chrono::minutes(*minutes);
}

std::optional<std::chrono::minutes> CheckAheadSetting() {
  const char* value = std::getenv("QUILLBRIGHT_CHECK_AHEAD");
  return value ? ParseCheckAhead(value) : std::nullopt;
}

std::chrono::milliseconds ReviewHoldSetting(std::chrono::milliseconds fallback) {
  const char* value = std::getenv("QUILLBRIGHT_REVIEW_HOLD");
  std::optional<std::chrono::seconds> hold = value ? ParseReviewHold(value) : std::nullopt;
  return hold ? std::chrono::milliseconds(*hold) : fallback;
}

}  // namespace qb
