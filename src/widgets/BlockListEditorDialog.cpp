#include "widgets/BlockListEditorDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/CheckListRows.h"

namespace qb {

namespace {

constexpr int kWidth = 358;
constexpr int kHeight = 415;
constexpr int kBorder = 5;

QPushButton* AddButton(QHBoxLayout* row, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption));
  button->setObjectName(name);
  row->addWidget(button);
  return button;
}

}  // namespace

TBlockListEditorDialog::TBlockListEditorDialog(const TBlockListKind& kind,
                                               const std::string& programFolder, QWidget* parent)
    : QDialog(parent), editor_(kind, programFolder), list_(new QListWidget) {
  setWindowTitle(QString::fromUtf8(kind.Caption));
  resize(kWidth, kHeight);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
  auto* label = new QLabel(QString::fromUtf8(kind.Label));
  label->setObjectName("Label1");
  layout->addWidget(label);  // on one line: the dialog widens to it
  list_->setObjectName("CheckListBox1");
  layout->addWidget(list_, 1);
  auto* buttons = new QHBoxLayout;
  QPushButton* unlist = AddButton(buttons, "btnUnlist", kRemoveCheckedCaption);
  QPushButton* add = AddButton(buttons, "btnNew", kAddNewCaption);
  QPushButton* ok = AddButton(buttons, "btnOK", kOKCaption);
  layout->addLayout(buttons);

  connect(unlist, &QPushButton::clicked, this, [this] { editor_.btnUnlistClick(); });
  connect(add, &QPushButton::clicked, this, [this] { editor_.btnNewClick(); });
  connect(ok, &QPushButton::clicked, this, [this] {
    editor_.btnOKClick();
    done(editor_.ModalResult);
  });
  connect(list_, &QListWidget::itemChanged, this, &TBlockListEditorDialog::ItemChanged);
  editor_.OnChanged = [this](TBlockListEditor*) { ShowItems(); };
  editor_.FormCreate();
}

void TBlockListEditorDialog::ShowItems() {
  showing_ = true;
  ShowCheckListRows(*list_, editor_.Items());
  showing_ = false;
}

// A tick goes through the controller, which keeps the ticks.
void TBlockListEditorDialog::ItemChanged(QListWidgetItem* item) {
  if (showing_) return;
  editor_.SetChecked(static_cast<std::size_t>(list_->row(item)), item->checkState() == Qt::Checked);
}

void ShowBlockListEditor(QWidget* parent, const TBlockListKind& kind,
                         const std::string& programFolder) {
  TBlockListEditorDialog dialog(kind, programFolder, parent);
  dialog.exec();
}

}  // namespace qb
