#include "widgets/QtTrayIcon.h"

#include <QApplication>
#include <QStyleHints>
#include <QWidget>

#include "widgets/DisplayText.h"
#include "widgets/Icons.h"

namespace qb {

TQtTrayIcon::TQtTrayIcon(std::function<bool()> trayAvailable)
    : logic_(*this, *this,
             std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval())),
      trayAvailable_(std::move(trayAvailable)) {
  icon_.setIcon(ProgramIcon());
  clickTimer_.setSingleShot(true);
  connect(&clickTimer_, &QTimer::timeout, this, [this] { logic_.ClickTimerElapsed(); });
  menu_.addAction("Show", this, [this] { ShowMainWindow(); });
  menu_.addAction("Hide", this, [this] { HideMainWindow(); });
  menu_.addAction("Exit", this, [this] {
    if (OnExit) OnExit();
  });
  icon_.setContextMenu(&menu_);
  connect(&icon_, &QSystemTrayIcon::activated, this, &TQtTrayIcon::Activated);
  logic_.StartMinimized = true;
  logic_.MinimizeToTray = true;
  logic_.OnClick = [this](TTrayIcon*) { ShowMainWindow(); };
  logic_.OnDblClick = [this](TTrayIcon*) { ShowMainWindow(); };
  logic_.Loaded();
}

TQtTrayIcon::~TQtTrayIcon() {
  icon_.hide();
}

bool TQtTrayIcon::DesktopHasTray() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TQtTrayIcon::TrayAvailable() const {
  return trayAvailable_();
}

void TQtTrayIcon::SetMainWindow(QWidget* window) {
  window_ = window;
  if (window_ && pendingVisible_) SetMainWindowVisible(*pendingVisible_);
  pendingVisible_.reset();
}

void TQtTrayIcon::ShowMainWindow() {
  logic_.ShowMainWindow();
  if (!window_) pendingVisible_ = true;
}

void TQtTrayIcon::HideMainWindow() {
  logic_.HideMainWindow();
  if (!window_) pendingVisible_ = false;
}

// Qt reports a press of the left button as Trigger and a second one as
// DoubleClick; the logic turns them into one click or one double click.
void TQtTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger) {
    logic_.MouseDown(TMouseButton::mbLeft);
    logic_.MouseUp(TMouseButton::mbLeft);
  } else if (reason == QSystemTrayIcon::DoubleClick) {
    logic_.DoubleClick();
  }
}

void TQtTrayIcon::SetMainWindowVisible(bool visible) {
  if (!window_) return;
  if (visible) {
    if (window_->isMinimized()) {
      window_->showNormal();
    } else {
      window_->show();
    }
    window_->raise();
    window_->activateWindow();
  } else if (TrayAvailable()) {
    window_->hide();
  } else {
    window_->showMinimized();
  }
}

bool TQtTrayIcon::MainWindowMinimized() const {
  return window_ && window_->isMinimized();
}

void TQtTrayIcon::RestoreMainWindow() {
  if (window_) window_->showNormal();
}

void TQtTrayIcon::SetIconVisible(bool visible) {
  icon_.setVisible(visible);
}

void TQtTrayIcon::SetTip(const std::string& tip) {
  icon_.setToolTip(DisplayText(tip));
}

void TQtTrayIcon::Start(std::chrono::milliseconds interval) {
  clickTimer_.start(static_cast<int>(interval.count()));
}

void TQtTrayIcon::Stop() {
  clickTimer_.stop();
}

}  // namespace qb
