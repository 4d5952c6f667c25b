#include "screening/ReviewQueue.h"

#include <algorithm>

namespace qb {

bool TReviewQueue::Claim(TMailGWClient& session) {
  if (holder_.Get() == nullptr) {
    holder_ = TSessionHandle(&session);
    return true;
  }
  if (holder_.Is(&session)) return true;
  bool queued = std::any_of(waiting_.begin(), waiting_.end(),
                            [&session](const TSessionHandle& h) { return h.Is(&session); });
  if (!queued) waiting_.emplace_back(&session);
  return false;
}

TMailGWClient* TReviewQueue::Release(TMailGWClient& session) {
  std::erase_if(waiting_, [&session](const TSessionHandle& h) { return h.Is(&session); });
  if (holder_.Get() != nullptr && !holder_.Is(&session)) return nullptr;
  holder_.Reset();
  while (!waiting_.empty()) {
    TSessionHandle next = waiting_.front();
    waiting_.pop_front();
    if (next.Get() != nullptr) {
      holder_ = next;
      return next.Get();
    }
  }
  return nullptr;
}

std::size_t TReviewQueue::Waiting() const {
  return static_cast<std::size_t>(
      std::count_if(waiting_.begin(), waiting_.end(),
                    [](const TSessionHandle& h) { return h.Get() != nullptr; }));
}

}  // namespace qb
