// The main window's tray icon, TrayIcon1, on QSystemTrayIcon: the tray
// logic of notify/ with a QTimer as its click timer and Qt's double-click
// time, the menu "Show", "Hide" (only while the window shows), "Removed
// mail…", "Exit", a tooltip that names the program and what it is doing,
// and the main window it shows and hides. Where the desktop has no tray, hiding would leave the
// window unreachable: then the window is minimised instead of hidden.
#pragma once

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

#include "notify/TrayIcon.h"
#include "screening/WindowServices.h"

namespace qb {

class TQtTrayIcon : public QObject, public ITrayIcon, public ITrayHost, public IClickTimer {
  Q_OBJECT

 public:
  // `trayAvailable` tells whether the desktop has a system tray (by default
  // what Qt finds).
  explicit TQtTrayIcon(std::function<bool()> trayAvailable = DesktopHasTray);
  static bool DesktopHasTray();
  ~TQtTrayIcon() override;

  // The window to show and hide. A show or hide asked before there was one
  // is applied when it comes.
  void SetMainWindow(QWidget* window);
  bool TrayAvailable() const;

  // ITrayIcon, for the window's logic.
  void ShowMainWindow() override;
  void HideMainWindow() override;

  // The menu's "Removed mail…" and "Exit".
  std::function<void()> OnRemovedMail;
  std::function<void()> OnExit;
  // The tooltip: "Quillbright", and the window's status below it.
  void ShowStatus(const QString& status);

  TTrayIcon& Logic() { return logic_; }
  QSystemTrayIcon& Icon() { return icon_; }
  QMenu& Menu() { return menu_; }

  // ITrayHost
  bool HasMainWindow() const override { return window_ != nullptr; }
  void SetMainWindowVisible(bool visible) override;
  bool MainWindowMinimized() const override;
  void RestoreMainWindow() override;
  void SetIconVisible(bool visible) override;
  void SetTip(const std::string& tip) override;

  // IClickTimer
  void Start(std::chrono::milliseconds interval) override;
  void Stop() override;
  bool Active() const override { return clickTimer_.isActive(); }

 private:
  void Activated(QSystemTrayIcon::ActivationReason reason);
  void BuildMenu();

  QSystemTrayIcon icon_;
  QMenu menu_;
  QAction* hide_ = nullptr;
  QTimer clickTimer_;
  TTrayIcon logic_;
  QPointer<QWidget> window_;
  std::optional<bool> pendingVisible_;
  std::function<bool()> trayAvailable_;
};

}  // namespace qb
