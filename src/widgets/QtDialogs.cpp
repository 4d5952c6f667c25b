#include "widgets/QtDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace qb {

QWidget* DialogParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

void TQtDialogs::ShowMessageBox(const std::string& text, TMsgDlgType type) {
  const QString title = QApplication::applicationDisplayName();
  const QString message = QString::fromStdString(text);
  switch (type) {
    case TMsgDlgType::mtWarning:
      QMessageBox::warning(DialogParent(), title, message);
      break;
    case TMsgDlgType::mtError:
      QMessageBox::critical(DialogParent(), title, message);
      break;
    default:
      QMessageBox::information(DialogParent(), title, message);
      break;
  }
}

std::optional<std::string> TQtDialogs::InputBox(const std::string& title, const std::string& prompt,
                                                const std::string& initial) {
  bool accepted = false;
  QString text = QInputDialog::getText(DialogParent(), QString::fromStdString(title),
                                       QString::fromStdString(prompt), QLineEdit::Normal,
                                       QString::fromStdString(initial), &accepted);
  if (!accepted) return std::nullopt;
  return text.toStdString();
}

bool TQtShell::OpenDocument(const std::string& pathOrUrl) {
  const QString target = QString::fromStdString(pathOrUrl);
  QUrl url = QFileInfo(target).isAbsolute() ? QUrl::fromLocalFile(target) : QUrl(target);
  return QDesktopServices::openUrl(url);
}

}  // namespace qb
