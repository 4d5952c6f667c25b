// What the GUI tests share: one QApplication on the offscreen platform, the
// loop bridge, a pump that turns Qt's loop (and through the bridge the
// program's) until a condition holds, and a step run inside a modal dialog.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <functional>

#include "widgets/LoopBridge.h"

namespace qb::test {

inline QApplication& GuiApplication() {
  static int argc = 1;
  static char name[] = "widgets_gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

inline TLoopBridge& GuiLoopBridge() {
  GuiApplication();
  static TLoopBridge* bridge = new TLoopBridge;
  return *bridge;
}

// Qt's loop waits for events; a ticking timer keeps it from waiting longer
// than a slice for a condition that another thread makes true.
inline bool PumpQtUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  QTimer tick;
  tick.start(10);
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < timeout.count()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return condition();
}

// Runs `step` once Qt's loop turns: inside the exec() of a modal dialog
// opened after this call.
inline void WhenModal(std::function<void()> step) {
  QTimer::singleShot(0, std::move(step));
}

}  // namespace qb::test
