// The QApplication of the GUI tests, created at first use on Qt's offscreen
// platform (unless QT_QPA_PLATFORM says otherwise), so no display is needed.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdlib>
#include <functional>

namespace qb::test {

inline QApplication& OffscreenApplication() {
  static int argc = 1;
  static char name[] = "quillbright-gui-tests";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QApplication application(argc, argv);
  return application;
}

// Runs `step` once the event loop turns: inside a modal dialog's exec().
inline void WhenModal(std::function<void()> step) {
  QTimer::singleShot(0, std::move(step));
}

}  // namespace qb::test
