// The review list's table: the model's columns with the message number and
// the UID hidden, the subject taking the free width, a header click that
// sorts through the window's logic (again: the reverse order) with the
// usual arrow, Space that ticks the current row from any column, and a
// current row that is always shown. Column widths and the sort are kept
// with the window's state.
#pragma once

#include <QByteArray>
#include <QTableView>

#include "widgets/ReviewListModel.h"

namespace qb {

class TReviewListView : public QTableView {
  Q_OBJECT

 public:
  TReviewListView(TForm1& form, TReviewListModel& model, QWidget* parent = nullptr);

  // The header's widths and order, for the window's settings.
  QByteArray HeaderState() const;
  void RestoreHeaderState(const QByteArray& state);
  // The arrow follows the logic's sort column and direction.
  void ShowSortIndicator();

 signals:
  // The user sorted by a header click.
  void SortChosen();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void SortBy(int section);
  void FitColumns();
  void KeepCurrentRow();

  TForm1& form_;
  TReviewListModel& model_;
  bool fitted_ = false;
};

}  // namespace qb
