#include "widgets/QtDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "widgets/DisplayText.h"

namespace qb {

QWidget* DialogParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

TQtDialogs::TQtDialogs() : previous_(InstallDialogs(this)) {}

TQtDialogs::~TQtDialogs() {
  InstallDialogs(previous_);
}

void TQtDialogs::ShowMessageBox(const std::string& text, TMsgDlgType type) {
  QMessageBox::Icon icon = QMessageBox::Information;
  if (type == TMsgDlgType::mtWarning) icon = QMessageBox::Warning;
  if (type == TMsgDlgType::mtError) icon = QMessageBox::Critical;
  QMessageBox box(icon, QApplication::applicationName(), DisplayText(text), QMessageBox::Ok,
                  DialogParent());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool TQtDialogs::Confirm(const std::string& text, const std::string& yes) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), DisplayText(text),
                  QMessageBox::NoButton, DialogParent());
  box.setTextFormat(Qt::PlainText);
  QPushButton* accept = box.addButton(DisplayText(yes), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == accept;
}

std::optional<std::string> TQtDialogs::InputBox(const std::string& title, const std::string& prompt,
                                                const std::string& initial) {
  bool ok = false;
  QString answer = QInputDialog::getText(DialogParent(), DisplayText(title), DisplayText(prompt),
                                         QLineEdit::Normal, DisplayText(initial), &ok);
  if (!ok) return std::nullopt;
  return WireText(answer);
}

}  // namespace qb
