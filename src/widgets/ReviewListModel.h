// The review list as a Qt model over the main window's rows: the columns of
// a MessageRow, the category icon and the tick in the first column. It
// follows the window's row events; a tick the user sets goes through
// TForm1::SetRowChecked, never into the row directly.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>

#include "app/Unit1.h"

namespace qb {

class TReviewListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 8;  // From, Subject, Size, two hidden, To, Date, File
  static constexpr int kMessageNumberColumn = 3;
  static constexpr int kUidColumn = 4;

  // Takes over the window's row events.
  explicit TReviewListModel(TForm1& form, QObject* parent = nullptr);
  ~TReviewListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  TForm1& form_;
  std::array<QIcon, 7> icons_;
};

}  // namespace qb
