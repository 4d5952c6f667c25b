// The review list's model: the rows in display order with their ticks and
// icons, and the column they are sorted by. The view only shows it.
#pragma once

#include <cstddef>
#include <vector>

#include "screening/MessageRow.h"

namespace qb {

// The review-list order: by the column's text ignoring ASCII case,
// ascending; the "Size" column puts numeric sizes largest first, after any
// rows whose size is not a number (such as "-"), which keep the text order.
bool ReviewRowLess(const MessageRow& a, const MessageRow& b, int sortColumn);

class ReviewList {
 public:
  static constexpr int kSizeColumn = 2;

  void Add(MessageRow row) { rows_.push_back(std::move(row)); }
  void Clear() { rows_.clear(); }
  std::size_t Count() const { return rows_.size(); }
  bool Empty() const { return rows_.empty(); }

  MessageRow& operator[](std::size_t index) { return rows_.at(index); }
  const MessageRow& operator[](std::size_t index) const { return rows_.at(index); }
  std::vector<MessageRow>& Rows() { return rows_; }
  const std::vector<MessageRow>& Rows() const { return rows_; }

  int SortColumn = 0;
  // Orders the rows by SortColumn; sorting again gives the same order, and
  // rows that compare equal keep their order.
  void Sort();

 private:
  std::vector<MessageRow> rows_;
};

}  // namespace qb
