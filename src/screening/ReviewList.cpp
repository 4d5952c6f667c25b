#include "screening/ReviewList.h"

#include <algorithm>

#include "screening/ScreeningText.h"

namespace qb {

namespace {

// Sizes as the Size column orders them: every row that is not a number
// (such as "-") first, by text, as a text sorts before a digit string
// would; then numeric sizes, largest first. This makes the order a strict
// weak ordering whatever the column holds.
bool SizeLess(const MessageRow& a, const MessageRow& b) {
  std::optional<std::int64_t> left = ParseWholeNumber(a.Size);
  std::optional<std::int64_t> right = ParseWholeNumber(b.Size);
  if (left && right) return *left > *right;
  if (left || right) return right.has_value();
  return CompareIgnoringCase(a.Size, b.Size) < 0;
}

}  // namespace

bool ReviewRowLess(const MessageRow& a, const MessageRow& b, ReviewColumn sortColumn) {
  if (sortColumn == ReviewColumn::Size) return SizeLess(a, b);
  return CompareIgnoringCase(ColumnText(a, sortColumn), ColumnText(b, sortColumn)) < 0;
}

void ReviewList::Add(MessageRow row) {
  rows_.push_back(std::move(row));
  if (OnRowsInserted) OnRowsInserted(this, rows_.size() - 1, 1);
}

void ReviewList::Clear() {
  rows_.clear();
  if (OnRowsReset) OnRowsReset(this);
}

void ReviewList::SetRowState(std::size_t index, bool checked, MessageCategory icon) {
  if (index >= rows_.size()) return;
  rows_[index].Checked = checked;
  rows_[index].CategoryIcon = icon;
  if (OnRowChanged) OnRowChanged(this, index);
}

void ReviewList::SetRowChecked(std::size_t index, bool checked) {
  if (index < rows_.size()) SetRowState(index, checked, rows_[index].CategoryIcon);
}

void ReviewList::Sort() {
  const ReviewColumn column = SortColumn;
  const bool descending = SortDescending;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const MessageRow& a, const MessageRow& b) {
    return descending ? ReviewRowLess(b, a, column) : ReviewRowLess(a, b, column);
  });
  if (OnRowsReset) OnRowsReset(this);
}

}  // namespace qb
