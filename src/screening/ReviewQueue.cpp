#include "screening/ReviewQueue.h"

#include <algorithm>
#include <map>

#include "screening/ScreeningState.h"

namespace qb {

bool SameAccount(const TOpenReview& a, const TOpenReview& b) {
  return MakeUidFileStem(a.AccountText) == MakeUidFileStem(b.AccountText);
}

void KeepTicks(const std::vector<MessageRow>& older, std::vector<MessageRow>& newer) {
  std::map<std::string, bool> ticks;
  for (const MessageRow& row : older) ticks.emplace(row.Uid, row.Checked);
  for (MessageRow& row : newer) {
    if (auto tick = ticks.find(row.Uid); tick != ticks.end()) row.Checked = tick->second;
  }
}

void TReviewQueue::Add(TWaitingReview review) {
  auto replaced = std::find_if(waiting_.begin(), waiting_.end(), [&](const TWaitingReview& w) {
    return w.Session.Get() == nullptr && SameAccount(w.Review, review.Review);
  });
  if (replaced == waiting_.end()) return waiting_.push_back(std::move(review));
  KeepTicks(replaced->Rows, review.Rows);
  *replaced = std::move(review);
}

void TReviewQueue::AddFirst(TWaitingReview review) {
  waiting_.push_front(std::move(review));
}

TWaitingReview TReviewQueue::Take(std::size_t index) {
  TWaitingReview taken = std::move(waiting_.at(index));
  waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(index));
  return taken;
}

TWaitingReview* TReviewQueue::Of(const TMailGWClient& session) {
  for (TWaitingReview& review : waiting_) {
    if (review.Session.Is(&session)) return &review;
  }
  return nullptr;
}

}  // namespace qb
