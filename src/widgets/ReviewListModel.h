// The review list as a Qt model over the main window's rows: the columns of
// a MessageRow (ReviewColumn), the category icon and the tick in the first
// column, the exact size and long texts in tooltips. The window tells of a
// change to its rows after it happened, so the model shows a copy of them
// and changes that copy between Qt's begin and end notices: a sort is a
// layout change that moves each message's persistent index (the selection
// and the current row stay on the message), anything else a reset, an
// insertion or one row's change. A tick the user sets goes through
// TForm1::SetRowChecked, never into the row directly.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <vector>

#include "app/Unit1.h"

namespace qb {

class TReviewListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = static_cast<int>(ReviewColumn::Count);
  static constexpr ReviewColumn ColumnAt(int section) { return static_cast<ReviewColumn>(section); }
  static constexpr int Section(ReviewColumn column) { return static_cast<int>(column); }

  // Takes over the window's row events.
  explicit TReviewListModel(TForm1& form, QObject* parent = nullptr);
  ~TReviewListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The rows shown, and how many of them are ticked.
  const std::vector<MessageRow>& Rows() const { return rows_; }
  int TickedCount() const;

 private:
  void RowsReplaced();
  bool Reordered(const std::vector<MessageRow>& now);
  void RowsInserted(std::size_t first, std::size_t count);
  void RowChanged(std::size_t index);
  QVariant DisplayData(const MessageRow& row, ReviewColumn column) const;
  QVariant ToolTip(const MessageRow& row, ReviewColumn column) const;

  TForm1& form_;
  std::vector<MessageRow> rows_;
  std::array<QIcon, 7> icons_;
};

}  // namespace qb
