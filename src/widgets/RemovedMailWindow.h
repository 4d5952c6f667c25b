// The "Removed mail" window: removed.log, newest first, one row per removed
// message (time, account, category, rule, From, Subject, size, copy);
// "Open", which shows the selected copy with the desktop's handler for .eml
// files, and "Deliver again", which marks the copy for delivery at the next
// session of its account.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTableWidget>
#include <vector>

#include "app/RemovalLog.h"

namespace qb {

class TRemovedMailWindow : public QDialog {
  Q_OBJECT

 public:
  TRemovedMailWindow(const std::string& programFolder, QWidget* parent = nullptr);

  QTableWidget& Table() { return *table_; }
  QPushButton& OpenButton() { return *open_; }
  QPushButton& DeliverButton() { return *deliver_; }

 private:
  void SelectionChanged();
  void OpenSelected();
  void DeliverSelected();
  void ShowEntries();
  const TRemovalLogEntry* Selected() const;

  std::string programFolder_;
  std::vector<TRemovalLogEntry> entries_;
  QTableWidget* table_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* deliver_ = nullptr;
};

}  // namespace qb
