// Where the windows open and what they remember: the main and the
// removed-mail windows keep their geometry and their columns in
// window.ini in the program folder (QSettings, INI format). A window opens
// as it was left when that still fits a screen, else at its preferred size
// (never larger than the screen's free area) in the middle of the primary
// screen, with its title bar on screen.
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QSize>
#include <QWidget>
#include <memory>
#include <string>

namespace qb {

inline constexpr const char* kWindowSettingsFile = "window.ini";

std::unique_ptr<QSettings> WindowSettings(const std::string& programFolder);

// Restores `savedGeometry` (from QWidget::saveGeometry) or places the
// window as above.
void PlaceWindow(QWidget& window, const QByteArray& savedGeometry, QSize preferred);

}  // namespace qb
