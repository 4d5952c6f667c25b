#include "widgets/RemovedMailWindow.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QUrl>
#include <QVBoxLayout>

#include "widgets/DisplayText.h"

namespace qb {

TRemovedMailWindow::TRemovedMailWindow(const std::string& programFolder, QWidget* parent)
    : QDialog(parent), entries_(ReadRemovalLog(programFolder)) {
  setWindowTitle("Removed mail");
  resize(900, 400);
  auto* layout = new QVBoxLayout(this);
  const QStringList headers = {"Time", "Account", "Category", "Rule",
                               "From", "Subject", "Size",     "Copy"};
  table_ = new QTableWidget(static_cast<int>(entries_.size()), headers.size(), this);
  table_->setHorizontalHeaderLabels(headers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  for (int row = 0; row < table_->rowCount(); ++row) {
    const TRemovalLogEntry& e = entries_[static_cast<std::size_t>(row)];
    const std::string* texts[] = {&e.Time, &e.Account, &e.Category, &e.Rule,
                                  &e.From, &e.Subject, &e.Size,     &e.Copy};
    for (int column = 0; column < headers.size(); ++column) {
      table_->setItem(row, column, new QTableWidgetItem(DisplayText(*texts[column])));
    }
  }
  table_->resizeColumnsToContents();
  layout->addWidget(table_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  open_ = buttons->addButton("Open", QDialogButtonBox::ActionRole);
  open_->setEnabled(false);
  connect(open_, &QPushButton::clicked, this, [this] { OpenSelected(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  layout->addWidget(buttons);
}

const TRemovalLogEntry* TRemovedMailWindow::Selected() const {
  int row = table_->currentRow();
  if (row < 0 || row >= static_cast<int>(entries_.size())) return nullptr;
  return &entries_[static_cast<std::size_t>(row)];
}

// Only a copy that is still on disk can be opened.
void TRemovedMailWindow::SelectionChanged() {
  const TRemovalLogEntry* entry = Selected();
  open_->setEnabled(entry != nullptr && !entry->CopyPath.empty());
}

void TRemovedMailWindow::OpenSelected() {
  const TRemovalLogEntry* entry = Selected();
  if (entry == nullptr || entry->CopyPath.empty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(entry->CopyPath)));
}

}  // namespace qb
