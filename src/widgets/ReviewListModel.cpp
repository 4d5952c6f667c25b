#include "widgets/ReviewListModel.h"

#include <map>
#include <utility>

#include "widgets/DisplayText.h"
#include "widgets/Icons.h"

namespace qb {

namespace {

// The captions by column; the hidden columns have none.
const char* const kCaptions[TReviewListModel::kColumnCount] = {"From", "Subject", "Size", "",
                                                               "",     "To",      "Date", "File"};

// A message of the list: its number and UID on the server.
using MessageKey = std::pair<std::int64_t, std::string>;

MessageKey KeyOf(const MessageRow& row) {
  return {row.Number, row.Uid};
}

}  // namespace

TReviewListModel::TReviewListModel(TForm1& form, QObject* parent)
    : QAbstractTableModel(parent), form_(form), rows_(form.ReviewListView1.Rows()) {
  for (int i = 0; i < static_cast<int>(icons_.size()); ++i) {
    icons_[static_cast<std::size_t>(i)] = CategoryIcon(static_cast<MessageCategory>(i));
  }
  form_.OnRowsReset = [this](TForm1*) { RowsReplaced(); };
  form_.OnRowsInserted = [this](TForm1*, std::size_t first, std::size_t count) {
    RowsInserted(first, count);
  };
  form_.OnRowChanged = [this](TForm1*, std::size_t index) { RowChanged(index); };
}

TReviewListModel::~TReviewListModel() {
  form_.OnRowsReset = nullptr;
  form_.OnRowsInserted = nullptr;
  form_.OnRowChanged = nullptr;
}

void TReviewListModel::RowsReplaced() {
  const std::vector<MessageRow>& now = form_.ReviewListView1.Rows();
  if (Reordered(now)) return;
  beginResetModel();
  rows_ = now;
  endResetModel();
}

// The same messages in another order (a sort): each persistent index moves
// with its message. False, with nothing changed, when the messages differ.
bool TReviewListModel::Reordered(const std::vector<MessageRow>& now) {
  if (now.size() != rows_.size() || rows_.empty()) return false;
  std::map<MessageKey, std::vector<int>> places;
  for (std::size_t i = now.size(); i-- > 0;) places[KeyOf(now[i])].push_back(static_cast<int>(i));
  std::vector<int> moved(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    auto place = places.find(KeyOf(rows_[i]));
    if (place == places.end() || place->second.empty()) return false;
    moved[i] = place->second.back();
    place->second.pop_back();
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  for (const QModelIndex& index : from) {
    to.append(index.isValid()
                  ? this->index(moved[static_cast<std::size_t>(index.row())], index.column())
                  : QModelIndex());
  }
  changePersistentIndexList(from, to);
  rows_ = now;
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  return true;
}

void TReviewListModel::RowsInserted(std::size_t first, std::size_t count) {
  const std::vector<MessageRow>& now = form_.ReviewListView1.Rows();
  if (count == 0 || first != rows_.size() || first + count != now.size()) return RowsReplaced();
  beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
  rows_.insert(rows_.end(), now.begin() + static_cast<std::ptrdiff_t>(first), now.end());
  endInsertRows();
}

void TReviewListModel::RowChanged(std::size_t index) {
  const std::vector<MessageRow>& now = form_.ReviewListView1.Rows();
  if (index >= rows_.size() || index >= now.size()) return RowsReplaced();
  rows_[index] = now[index];
  int row = static_cast<int>(index);
  emit dataChanged(this->index(row, 0), this->index(row, kColumnCount - 1));
}

int TReviewListModel::TickedCount() const {
  int ticked = 0;
  for (const MessageRow& row : rows_) ticked += row.Checked ? 1 : 0;
  return ticked;
}

int TReviewListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TReviewListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TReviewListModel::DisplayData(const MessageRow& row, ReviewColumn column) const {
  if (column == ReviewColumn::Size) return ReadableSize(row.Size);
  return DisplayText(ColumnText(row, column));
}

QVariant TReviewListModel::ToolTip(const MessageRow& row, ReviewColumn column) const {
  if (column == ReviewColumn::Size) return ExactSize(row.Size);
  QString text = DisplayText(ColumnText(row, column));
  if (!row.Rule.empty() && column == ReviewColumn::From) {
    text += "\nTicked by: " + DisplayText(row.Rule);
  }
  return text.isEmpty() ? QVariant() : QVariant(text);
}

QVariant TReviewListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
  const MessageRow& row = rows_[static_cast<std::size_t>(index.row())];
  const ReviewColumn column = ColumnAt(index.column());
  if (role == Qt::DisplayRole) return DisplayData(row, column);
  if (role == Qt::ToolTipRole) return ToolTip(row, column);
  if (role == Qt::TextAlignmentRole && column == ReviewColumn::Size) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (column != ReviewColumn::From) return {};
  if (role == Qt::CheckStateRole) return row.Checked ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::DecorationRole) {
    auto category = static_cast<std::size_t>(row.CategoryIcon);
    return category < icons_.size() ? icons_[category] : QIcon();
  }
  return {};
}

bool TReviewListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || ColumnAt(index.column()) != ReviewColumn::From ||
      role != Qt::CheckStateRole) {
    return false;
  }
  bool checked = value.value<Qt::CheckState>() == Qt::Checked;
  form_.SetRowChecked(static_cast<std::size_t>(index.row()), checked);
  return true;
}

Qt::ItemFlags TReviewListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && ColumnAt(index.column()) == ReviewColumn::From) {
    flags |= Qt::ItemIsUserCheckable;
  }
  return flags;
}

QVariant TReviewListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= kColumnCount) return {};
  return QString(kCaptions[section]);
}

}  // namespace qb
