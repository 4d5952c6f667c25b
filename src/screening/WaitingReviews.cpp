// Which review the window shows. A scan's review is shown when no other is;
// otherwise it waits in line, and the user may switch to it: the review shown
// then goes first in line, with its ticks. "Remove Checked" acts on the
// review shown, on its session while its client waits for it, otherwise for
// the account's next check. Once the review shown is decided, the first in
// line is shown.
#include "platform/AsciiText.h"
#include "screening/SessionScreening.h"

namespace qb {

void TSessionScreening::ShowReview(TWaitingReview review, bool announce) {
  ++ReviewSerial;
  openReview_ = std::move(review.Review);
  state_.AccountText = openReview_.AccountText;
  decisionNotice_.clear();
  review_.Rows() = std::move(review.Rows);
  review_.SortColumn = review.SortColumn;
  review_.SortDescending = review.SortDescending;
  review_.Sort();
  ReviewClient = ListOwner = review.Session;
  controls_.Button1Enabled = true;
  controls_.lblAccountCaption = "Current account:" + MakeUidFileStem(openReview_.AccountText);
  if (announce) {
    TPopupProperties& popup = popup_.Properties();
    popup.GradientColor1 = "$02F0F0FA";
    popup.GradientColor2 = "$02A0A0FA";
    popup.Title = "Quillbright";
    popup.TimeOut = 1000000;
    popup.Text = kListReadyText;
    popup_.ShowPopup();
    tray_.ShowMainWindow();
  }
  if (ReviewClient.Get() == nullptr) {
    return DecisionNotice(kDecideLaterStatus);
  }
  ShowStatus();
}

void TSessionScreening::ShowNextReview() {
  if (openReview_.Open || queue_.Count() == 0) return;
  ShowReview(queue_.Take(0), true);
}

TWaitingReview TSessionScreening::ShownReview() const {
  return {.Review = openReview_,
          .Rows = review_.Rows(),
          .SortColumn = review_.SortColumn,
          .SortDescending = review_.SortDescending,
          .Session = ReviewClient};
}

std::vector<std::string> TSessionScreening::WaitingAccounts() const {
  std::vector<std::string> accounts;
  for (std::size_t k = 0; k < queue_.Count(); ++k) {
    accounts.push_back(TrimBlanks(queue_[k].Review.AccountText));
  }
  return accounts;
}

bool TSessionScreening::ShowWaitingReview(std::size_t index) {
  TMailGWClient* client = ReviewClient.Get();
  bool pressed = client != nullptr && SessionFor(*client).RemovePressed;
  if (!openReview_.Open || index >= queue_.Count() || pressed) return false;
  TWaitingReview chosen = queue_.Take(index);
  queue_.AddFirst(ShownReview());
  ShowReview(std::move(chosen), false);
  Changed();
  return true;
}

// The accounts whose scans are under way; sessions whose scans have ended
// leave the record here.
std::string TSessionScreening::CheckingText() {
  std::string text;
  for (auto entry = scanning_.begin(); entry != scanning_.end();) {
    TMailGWClient* client = entry->second.Get();
    TScreenedSession* session = client ? ScreenedSessionOf(*client) : nullptr;
    if (session == nullptr || !Scanning(*session)) {
      entry = scanning_.erase(entry);
      continue;
    }
    text += (text.empty() ? "" : ", ") + TrimBlanks(session->AccountText);
    ++entry;
  }
  return text;
}

}  // namespace qb
