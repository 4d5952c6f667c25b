// Above the review list: which account's review is shown and which others
// wait, by name; choosing a waiting one shows it instead. Hidden while no
// review waits.
#pragma once

#include <QComboBox>

#include "app/Unit1.h"

namespace qb {

class TReviewChooser : public QComboBox {
  Q_OBJECT

 public:
  TReviewChooser(TForm1& form, QWidget* parent);
  // Shows the window logic's reviews: the one shown first, then those in line.
  void Refresh();

 private:
  TForm1& form_;
};

}  // namespace qb
