#include "widgets/ReviewChooser.h"

#include <QSignalBlocker>

#include "widgets/DisplayText.h"

namespace qb {

TReviewChooser::TReviewChooser(TForm1& form, QWidget* parent) : QComboBox(parent), form_(form) {
  setToolTip("The accounts whose reviews wait: choose one to review it now");
  setSizeAdjustPolicy(QComboBox::AdjustToContents);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index > 0) form_.ShowWaitingReview(static_cast<std::size_t>(index - 1));
  });
}

void TReviewChooser::Refresh() {
  QSignalBlocker quiet(this);
  clear();
  std::vector<std::string> waiting = form_.WaitingReviews();
  std::string shown = form_.ReviewedAccount();
  bool choice = !waiting.empty() && !shown.empty();
  setVisible(choice);
  if (!choice) return;
  addItem("Reviewing " + DisplayText(shown));
  for (const std::string& account : waiting) addItem("Waiting: " + DisplayText(account));
  setCurrentIndex(0);
}

}  // namespace qb
