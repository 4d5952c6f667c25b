#include "screening/ReviewList.h"

#include <gtest/gtest.h>

#include <vector>

namespace qb {
namespace {

MessageRow RowWith(std::string from, std::string size) {
  MessageRow row;
  row.From = std::move(from);
  row.Size = std::move(size);
  return row;
}

std::vector<std::string> Column(const ReviewList& list, ReviewColumn column) {
  std::vector<std::string> texts;
  for (const MessageRow& row : list.Rows()) texts.push_back(ColumnText(row, column));
  return texts;
}

TEST(ReviewListTest, SizeSortsAsNumbersLargestFirst) {
  ReviewList list;
  list.Add(RowWith("a", "900"));
  list.Add(RowWith("b", "12000"));
  list.Add(RowWith("c", "-"));
  list.Add(RowWith("d", "9000"));
  list.SortColumn = ReviewColumn::Size;
  list.Sort();
  EXPECT_EQ(Column(list, ReviewColumn::Size),
            (std::vector<std::string>{"-", "12000", "9000", "900"}));
  list.Sort();
  EXPECT_EQ(Column(list, ReviewColumn::Size),
            (std::vector<std::string>{"-", "12000", "9000", "900"}))
      << "sorting again keeps the order";
  list.SortDescending = true;
  list.Sort();
  EXPECT_EQ(Column(list, ReviewColumn::Size),
            (std::vector<std::string>{"900", "9000", "12000", "-"}));
}

TEST(ReviewListTest, FromSortsIgnoringAsciiCase) {
  ReviewList list;
  for (const char* from : {"bob@x", "ALICE@x", "Carol@x", "alex@x", "\xE9lise@x"}) {
    list.Add(RowWith(from, "1"));
  }
  list.Sort();
  EXPECT_EQ(Column(list, ReviewColumn::From),
            (std::vector<std::string>{"alex@x", "ALICE@x", "bob@x", "Carol@x", "\xE9lise@x"}));
}

TEST(ReviewListTest, OtherColumnsSortAsText) {
  ReviewList list;
  for (const char* uid : {"10", "9", "100"}) {
    MessageRow row;
    row.Uid = uid;
    list.Add(row);
  }
  list.SortColumn = ReviewColumn::Uid;
  list.Sort();
  EXPECT_EQ(Column(list, ReviewColumn::Uid), (std::vector<std::string>{"10", "100", "9"}));
}

TEST(ReviewListTest, ColumnsFollowTheDisplayOrder) {
  MessageRow row{.From = "from",
                 .Subject = "subject",
                 .Size = "1",
                 .Number = 2,
                 .Uid = "uid",
                 .To = "to",
                 .Date = "date",
                 .File = "file"};
  std::vector<std::string> expected = {"from", "subject", "1", "", "uid", "to", "date", "file", ""};
  for (int column = 0; column <= static_cast<int>(ReviewColumn::Count); ++column) {
    EXPECT_EQ(ColumnText(row, static_cast<ReviewColumn>(column)),
              expected[static_cast<std::size_t>(column)])
        << column;
  }
  EXPECT_EQ(row.CategoryIcon, MessageCategory::mcPending);
  EXPECT_FALSE(row.Checked);
}

TEST(ReviewRowLessTest, IsAStrictWeakOrderingOnMixedSizes) {
  std::vector<MessageRow> rows;
  for (const char* size : {"-", "12000", "900", "", "abc", "-", "900", "+5", "ABC", "0"}) {
    rows.push_back(RowWith("x", size));
  }
  auto less = [](const MessageRow& a, const MessageRow& b) {
    return ReviewRowLess(a, b, ReviewColumn::Size);
  };
  auto equivalent = [&](const MessageRow& a, const MessageRow& b) {
    return !less(a, b) && !less(b, a);
  };
  for (const MessageRow& a : rows) {
    EXPECT_FALSE(less(a, a)) << a.Size;
    for (const MessageRow& b : rows) {
      EXPECT_FALSE(less(a, b) && less(b, a)) << a.Size << " " << b.Size;
      for (const MessageRow& c : rows) {
        if (less(a, b) && less(b, c)) {
          EXPECT_TRUE(less(a, c)) << a.Size << " " << b.Size << " " << c.Size;
        }
        if (equivalent(a, b) && equivalent(b, c)) {
          EXPECT_TRUE(equivalent(a, c));
        }
      }
    }
  }
}

}  // namespace
}  // namespace qb
