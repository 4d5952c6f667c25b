#include "widgets/ReviewListModel.h"

#include "widgets/DisplayText.h"
#include "widgets/Icons.h"

namespace qb {

namespace {

const char* const kCaptions[TReviewListModel::kColumnCount] = {"From", "Subject", "Size", "",
                                                               "",     "To",      "Date", "File"};

}  // namespace

// The rows change before the window tells of it, so each notice is the
// whole begin/end pair at once.
TReviewListModel::TReviewListModel(TForm1& form, QObject* parent)
    : QAbstractTableModel(parent), form_(form) {
  for (int i = 0; i < static_cast<int>(icons_.size()); ++i) {
    icons_[static_cast<std::size_t>(i)] = CategoryIcon(static_cast<MessageCategory>(i));
  }
  form_.OnRowsReset = [this](TForm1*) {
    beginResetModel();
    endResetModel();
  };
  form_.OnRowsInserted = [this](TForm1*, std::size_t first, std::size_t count) {
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
    endInsertRows();
  };
  form_.OnRowChanged = [this](TForm1*, std::size_t index) {
    int row = static_cast<int>(index);
    emit dataChanged(this->index(row, 0), this->index(row, kColumnCount - 1));
  };
}

TReviewListModel::~TReviewListModel() {
  form_.OnRowsReset = nullptr;
  form_.OnRowsInserted = nullptr;
  form_.OnRowChanged = nullptr;
}

int TReviewListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(form_.ReviewListView1.Count());
}

int TReviewListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TReviewListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= form_.ReviewListView1.Count()) {
    return {};
  }
  const MessageRow& row = form_.ReviewListView1[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) return DisplayText(ColumnText(row, index.column()));
  if (role == Qt::TextAlignmentRole && index.column() == ReviewList::kSizeColumn) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (index.column() != 0) return {};
  if (role == Qt::CheckStateRole) return row.Checked ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::DecorationRole) {
    auto category = static_cast<std::size_t>(row.CategoryIcon);
    return category < icons_.size() ? icons_[category] : QIcon();
  }
  return {};
}

bool TReviewListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
  bool checked = value.value<Qt::CheckState>() == Qt::Checked;
  form_.SetRowChecked(static_cast<std::size_t>(index.row()), checked);
  return true;
}

Qt::ItemFlags TReviewListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant TReviewListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= kColumnCount) return {};
  return QString(kCaptions[section]);
}

}  // namespace qb
