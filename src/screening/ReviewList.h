// The review list's model: the rows in display order with their ticks and
// icons, and the column they are sorted by. The view only shows it.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "screening/MessageRow.h"

namespace qb {

// The review-list order: by the column's text ignoring ASCII case,
// ascending; the "Size" column puts numeric sizes largest first, after any
// rows whose size is not a number (such as "-"), which keep the text order.
bool ReviewRowLess(const MessageRow& a, const MessageRow& b, ReviewColumn sortColumn);

// A view learns of changes row by row: OnRowsReset after the rows were
// replaced or reordered (Clear, Sort), OnRowsInserted after Add, and
// OnRowChanged after SetRowState or SetRowChecked. Code that writes rows
// through Rows() or operator[] ends with Sort() or Clear(), which report
// the whole list anew.
class ReviewList {
 public:
  void Add(MessageRow row);
  void Clear();
  // The tick and the icon of one row; out-of-range indexes are ignored.
  void SetRowState(std::size_t index, bool checked, MessageCategory icon);
  void SetRowChecked(std::size_t index, bool checked);

  std::function<void(ReviewList* sender)> OnRowsReset;
  std::function<void(ReviewList* sender, std::size_t first, std::size_t count)> OnRowsInserted;
  std::function<void(ReviewList* sender, std::size_t index)> OnRowChanged;
  std::size_t Count() const { return rows_.size(); }
  bool Empty() const { return rows_.empty(); }

  MessageRow& operator[](std::size_t index) { return rows_.at(index); }
  const MessageRow& operator[](std::size_t index) const { return rows_.at(index); }
  std::vector<MessageRow>& Rows() { return rows_; }
  const std::vector<MessageRow>& Rows() const { return rows_; }

  ReviewColumn SortColumn = ReviewColumn::From;
  // The reverse of the column's order (rows that compare equal still keep
  // theirs).
  bool SortDescending = false;
  // Orders the rows by SortColumn; sorting again gives the same order, and
  // rows that compare equal keep their order.
  void Sort();

 private:
  std::vector<MessageRow> rows_;
};

}  // namespace qb
