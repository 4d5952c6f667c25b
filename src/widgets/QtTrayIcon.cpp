#include "widgets/QtTrayIcon.h"

#include <QApplication>
#include <QStyleHints>
#include <QWidget>

#include "widgets/DisplayText.h"
#include "widgets/Icons.h"

namespace qb {

namespace {

constexpr const char* kTrayTitle = "Quillbright";

}  // namespace

TQtTrayIcon::TQtTrayIcon(std::function<bool()> trayAvailable)
    : logic_(*this, *this,
             std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval())),
      trayAvailable_(std::move(trayAvailable)) {
  icon_.setIcon(ProgramIcon());
  clickTimer_.setSingleShot(true);
  connect(&clickTimer_, &QTimer::timeout, this, [this] { logic_.ClickTimerElapsed(); });
  BuildMenu();
  icon_.setToolTip(kTrayTitle);
  connect(&icon_, &QSystemTrayIcon::activated, this, &TQtTrayIcon::Activated);
  logic_.StartMinimized = true;
  logic_.MinimizeToTray = true;
  logic_.OnClick = [this](TTrayIcon*) { ShowMainWindow(); };
  logic_.OnDblClick = [this](TTrayIcon*) { ShowMainWindow(); };
  logic_.Loaded();
}

void TQtTrayIcon::BuildMenu() {
  menu_.addAction("&Show", this, [this] { ShowMainWindow(); });
  hide_ = menu_.addAction("&Hide", this, [this] { HideMainWindow(); });
  menu_.addAction("Removed &mail…", this, [this] {
    if (OnRemovedMail) OnRemovedMail();
  });
  menu_.addSeparator();
  menu_.addAction("E&xit", this, [this] {
    if (OnExit) OnExit();
  });
  connect(&menu_, &QMenu::aboutToShow, this,
          [this] { hide_->setEnabled(window_ && window_->isVisible()); });
  icon_.setContextMenu(&menu_);
}

void TQtTrayIcon::ShowStatus(const QString& status) {
  icon_.setToolTip(status.isEmpty() ? QString(kTrayTitle) : kTrayTitle + QString("\n") + status);
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

// The logic's hint, when it has one, replaces the window's status.
void TQtTrayIcon::SetTip(const std::string& tip) {
  if (!tip.empty()) icon_.setToolTip(DisplayText(tip));
}

void TQtTrayIcon::Start(std::chrono::milliseconds interval) {
  clickTimer_.start(static_cast<int>(interval.count()));
}

void TQtTrayIcon::Stop() {
  clickTimer_.stop();
}

}  // namespace qb
