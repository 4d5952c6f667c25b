// The Qt view of a block-list editor (TfrmSubjects, TfrmSenders,
// TfrmRecipients): the label, a check list of the entries and the three
// buttons, over the controller TBlockListEditor.
#pragma once

#include <QDialog>
#include <string>

#include "app/BlockListEditor.h"

class QListWidget;
class QListWidgetItem;

namespace qb {

class TBlockListEditorDialog : public QDialog {
  Q_OBJECT

 public:
  TBlockListEditorDialog(const TBlockListKind& kind, const std::string& programFolder,
                         QWidget* parent = nullptr);

  TBlockListEditor& Editor() { return editor_; }

 private:
  void ShowItems();
  void ItemChanged(QListWidgetItem* item);

  TBlockListEditor editor_;
  QListWidget* list_;
  bool showing_ = false;
};

// The menu's "Options" items: a new editor, shown modally and freed.
void ShowBlockListEditor(QWidget* parent, const TBlockListKind& kind,
                         const std::string& programFolder);

}  // namespace qb
