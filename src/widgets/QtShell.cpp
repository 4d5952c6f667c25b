#include "widgets/QtShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace qb {

TQtShell::TQtShell() : previous_(InstallShell(this)) {}

TQtShell::~TQtShell() {
  InstallShell(previous_);
}

bool TQtShell::OpenDocument(const std::string& pathOrUrl) {
  const QString target = QString::fromStdString(pathOrUrl);
  QUrl url = QFileInfo(target).isAbsolute() ? QUrl::fromLocalFile(target) : QUrl(target);
  return QDesktopServices::openUrl(url);
}

}  // namespace qb
