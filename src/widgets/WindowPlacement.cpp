#include "widgets/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/ProgramFolder.h"

namespace qb {

namespace {

// Room for the window manager's frame around the client area.
constexpr int kFrameRoom = 48;

bool FitsAScreen(const QRect& frame) {
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    if (area.contains(frame.topLeft()) && frame.width() <= area.width() &&
        frame.height() <= area.height()) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::unique_ptr<QSettings> WindowSettings(const std::string& programFolder) {
  return std::make_unique<QSettings>(
      QString::fromStdString(ProgramFile(programFolder, kWindowSettingsFile)),
      QSettings::IniFormat);
}

void PlaceWindow(QWidget& window, const QByteArray& savedGeometry, QSize preferred) {
  if (!savedGeometry.isEmpty() && window.restoreGeometry(savedGeometry) &&
      FitsAScreen(window.frameGeometry())) {
    return;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) {
    window.resize(preferred);
    return;
  }
  const QRect area = screen->availableGeometry();
  QSize size = preferred.boundedTo(area.size() - QSize(kFrameRoom, kFrameRoom));
  window.resize(size);
  QPoint topLeft = area.center() - QPoint(size.width() / 2, size.height() / 2);
  topLeft.setY(std::max(topLeft.y(), area.top()));
  topLeft.setX(std::max(topLeft.x(), area.left()));
  window.move(topLeft);
}

}  // namespace qb
