#include "widgets/ReviewListView.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace qb {

namespace {

constexpr ReviewColumn kHidden[] = {ReviewColumn::MessageNumber, ReviewColumn::Uid};

// The columns' first widths, in average characters; the subject stretches.
struct ColumnWidth {
  ReviewColumn Column;
  int Characters;
};
constexpr ColumnWidth kWidths[] = {{ReviewColumn::From, 32},
                                   {ReviewColumn::Size, 9},
                                   {ReviewColumn::To, 18},
                                   {ReviewColumn::File, 16}};

// An arrow up for the order people call ascending (A to Z, small to large),
// down for the reverse; the Size column's own order puts the largest
// first. Qt draws Qt::AscendingOrder as the arrow down.
Qt::SortOrder IndicatorOrder(const ReviewList& list) {
  bool largestFirst = list.SortDescending != (list.SortColumn == ReviewColumn::Size);
  return largestFirst ? Qt::AscendingOrder : Qt::DescendingOrder;
}

}  // namespace

TReviewListView::TReviewListView(TForm1& form, TReviewListModel& model, QWidget* parent)
    : QTableView(parent), form_(form), model_(model) {
  setModel(&model_);
  setShowGrid(false);
  setAlternatingRowColors(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setIconSize(QSize(16, 16));
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setFocusPolicy(Qt::StrongFocus);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  QHeaderView* header = horizontalHeader();
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setSortIndicatorShown(true);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(TReviewListModel::Section(ReviewColumn::Subject),
                               QHeaderView::Stretch);
  for (ReviewColumn column : kHidden) setColumnHidden(TReviewListModel::Section(column), true);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QHeaderView::sectionClicked, this, &TReviewListView::SortBy);
  connect(&model_, &QAbstractItemModel::modelReset, this, &TReviewListView::KeepCurrentRow);
  connect(&model_, &QAbstractItemModel::rowsInserted, this, &TReviewListView::KeepCurrentRow);
  connect(&model_, &QAbstractItemModel::layoutChanged, this, &TReviewListView::ShowSortIndicator);
  FitColumns();
  ShowSortIndicator();
}

void TReviewListView::SortBy(int section) {
  form_.ReviewListView1ColumnClick(TReviewListModel::ColumnAt(section));
  ShowSortIndicator();
  emit SortChosen();
}

void TReviewListView::ShowSortIndicator() {
  const ReviewList& list = form_.ReviewListView1;
  horizontalHeader()->setSortIndicator(TReviewListModel::Section(list.SortColumn),
                                       IndicatorOrder(list));
}

void TReviewListView::FitColumns() {
  const int character = fontMetrics().averageCharWidth();
  for (const ColumnWidth& width : kWidths) {
    setColumnWidth(TReviewListModel::Section(width.Column), width.Characters * character);
  }
  // A whole date and time, in digits wider than the average character.
  setColumnWidth(TReviewListModel::Section(ReviewColumn::Date),
                 fontMetrics().horizontalAdvance("2026.12.31 23:59:59") + 16);
}

// A list with rows always has a current row, so the keyboard has a place
// to start and the focus shows where it is.
void TReviewListView::KeepCurrentRow() {
  ShowSortIndicator();
  if (model_.rowCount() == 0 || currentIndex().isValid()) return;
  setCurrentIndex(model_.index(0, TReviewListModel::Section(ReviewColumn::From)));
}

// Space ticks or unticks the current row whichever column is current.
void TReviewListView::keyPressEvent(QKeyEvent* event) {
  QModelIndex current = currentIndex();
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && current.isValid()) {
    QModelIndex tick = model_.index(current.row(), TReviewListModel::Section(ReviewColumn::From));
    bool checked = model_.data(tick, Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    model_.setData(tick, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

QByteArray TReviewListView::HeaderState() const {
  return horizontalHeader()->saveState();
}

// The logic's sort wins over the one saved: the arrow always tells the truth.
void TReviewListView::RestoreHeaderState(const QByteArray& state) {
  if (!state.isEmpty()) horizontalHeader()->restoreState(state);
  for (ReviewColumn column : kHidden) setColumnHidden(TReviewListModel::Section(column), true);
  ShowSortIndicator();
}

}  // namespace qb
