#include "widgets/RemovedMailWindow.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/Dialogs.h"
#include "screening/RemovedMail.h"
#include "screening/RestoredMail.h"
#include "widgets/DisplayText.h"

namespace qb {

namespace {

const QStringList kHeaders = {"Time", "Account", "Category", "Rule",
                              "From", "Subject", "Size",     "Copy"};

// What became of the copy, in a word; its long file name is the cell's tip.
std::string CopyState(const TRemovalLogEntry& entry) {
  if (entry.Copy == kNoCopy) return kNoCopy;
  if (entry.CopyPath.empty()) return "gone";
  return entry.MarkedForDelivery ? "to be delivered" : "kept";
}

}  // namespace

TRemovedMailWindow::TRemovedMailWindow(const std::string& programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(programFolder) {
  setWindowTitle("Removed mail");
  resize(900, 400);
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableWidget(0, kHeaders.size(), this);
  table_->setHorizontalHeaderLabels(kHeaders);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  open_ = buttons->addButton("Open", QDialogButtonBox::ActionRole);
  deliver_ = buttons->addButton("Deliver again", QDialogButtonBox::ActionRole);
  connect(open_, &QPushButton::clicked, this, [this] { OpenSelected(); });
  connect(deliver_, &QPushButton::clicked, this, [this] { DeliverSelected(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  layout->addWidget(buttons);
  ShowEntries();
}

void TRemovedMailWindow::ShowEntries() {
  entries_ = ReadRemovalLog(programFolder_);
  table_->clearContents();
  table_->setRowCount(static_cast<int>(entries_.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const TRemovalLogEntry& e = entries_[static_cast<std::size_t>(row)];
    const std::string texts[] = {e.Time, e.Account, e.Category, e.Rule,
                                 e.From, e.Subject, e.Size,     CopyState(e)};
    for (int column = 0; column < kHeaders.size(); ++column) {
      table_->setItem(row, column, new QTableWidgetItem(DisplayText(texts[column])));
    }
    table_->item(row, kHeaders.size() - 1)->setToolTip(DisplayText(e.Copy));
  }
  table_->resizeColumnsToContents();
  SelectionChanged();
}

const TRemovalLogEntry* TRemovedMailWindow::Selected() const {
  int row = table_->currentRow();
  if (row < 0 || row >= static_cast<int>(entries_.size())) return nullptr;
  return &entries_[static_cast<std::size_t>(row)];
}

// Only a copy that is still on disk can be opened, and delivered again
// once.
void TRemovedMailWindow::SelectionChanged() {
  const TRemovalLogEntry* entry = Selected();
  bool copy = entry != nullptr && !entry->CopyPath.empty();
  open_->setEnabled(copy);
  deliver_->setEnabled(copy && !entry->MarkedForDelivery);
}

void TRemovedMailWindow::OpenSelected() {
  const TRemovalLogEntry* entry = Selected();
  if (entry == nullptr || entry->CopyPath.empty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(entry->CopyPath)));
}

// Every row of the copy shows the mark, so the log is read again.
void TRemovedMailWindow::DeliverSelected() {
  const TRemovalLogEntry* entry = Selected();
  if (entry == nullptr || entry->CopyPath.empty() || entry->MarkedForDelivery) return;
  int row = table_->currentRow();
  if (!MarkForDelivery(programFolder_, entry->Copy)) {
    CurrentDialogs().ShowMessageBox(
        "Cannot move " + entry->Copy + " to " + programFolder_ + kDeliverFolder,
        TMsgDlgType::mtError);
    return;
  }
  ShowEntries();
  table_->selectRow(row);
}

}  // namespace qb
