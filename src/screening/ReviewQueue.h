// The reviews that wait while the window shows another: one per account's
// scan, in the order they became ready. Scans run side by side; only their
// reviews wait here, because the window shows one review at a time. A
// review stays until the user decides it, also once its mail client was
// answered without it or its session has gone: its decisions then take
// effect at the account's next check.
#pragma once

#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "gateway/MailGW.h"
#include "screening/MessageRow.h"

namespace qb {

// A review as the window shows it: the account it belongs to, whose
// decisions file "Remove Checked" writes, also once its session has gone.
struct TOpenReview {
  bool Open = false;
  std::string AccountText;
  std::set<std::string> DuplicateUids;  // of the scan's UIDL listing
  std::vector<std::string> Uids;        // of the messages shown or left for review
};

// Whether two reviews are of one account (one decisions file).
bool SameAccount(const TOpenReview& a, const TOpenReview& b);

struct TWaitingReview {
  TOpenReview Review;
  std::vector<MessageRow> Rows;  // with the user's ticks
  ReviewColumn SortColumn = ReviewColumn::From;
  bool SortDescending = false;
  TSessionHandle Session;  // whose client waits for the review; empty once it was answered
};

// The rows of a newer review of the same account keep the ticks the user
// gave the same messages (by UID) in the older one.
void KeepTicks(const std::vector<MessageRow>& older, std::vector<MessageRow>& newer);

class TReviewQueue {
 public:
  // Waits at the end of the line; a review of the same account whose
  // client was answered already is replaced in its place (its ticks kept).
  void Add(TWaitingReview review);
  void AddFirst(TWaitingReview review);
  // Leaves the line; `index` must be below Count().
  TWaitingReview Take(std::size_t index);
  // The waiting review of the session; nullptr when it has none waiting.
  TWaitingReview* Of(const TMailGWClient& session);

  std::size_t Count() const { return waiting_.size(); }
  const TWaitingReview& operator[](std::size_t index) const { return waiting_.at(index); }

 private:
  std::deque<TWaitingReview> waiting_;
};

}  // namespace qb
