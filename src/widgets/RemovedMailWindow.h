// The "Removed mail" window: removed.log, newest first, one row per removed
// message (time, account, category, rule, From, Subject, size, copy), and
// "Open", which shows the selected copy with the desktop's handler for .eml
// files.
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

 private:
  void SelectionChanged();
  void OpenSelected();
  const TRemovalLogEntry* Selected() const;

  std::vector<TRemovalLogEntry> entries_;
  QTableWidget* table_ = nullptr;
  QPushButton* open_ = nullptr;
};

}  // namespace qb
