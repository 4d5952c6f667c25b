// TTrayIcon: the tray icon's logic without a toolkit. It turns the icon's
// mouse notices into OnClick and OnDblClick (a single click is reported once
// the double-click time has passed, a double click at once and without a
// single click), keeps the tip text, and shows and hides the main window
// through the host (ITrayHost). The click timer is injected (IClickTimer).
//
//   TTrayIcon tray(host, timer, std::chrono::milliseconds(400));
//   tray.OnClick = [&](TTrayIcon*) { tray.ShowMainWindow(); };
//   tray.MouseDown(TMouseButton::mbLeft);   // from the toolkit's icon
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace qb {

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// A one-shot timer the logic starts and stops; the host calls
// TTrayIcon::ClickTimerElapsed when it runs out.
class IClickTimer {
 public:
  virtual ~IClickTimer() = default;
  virtual void Start(std::chrono::milliseconds interval) = 0;
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
};

// The main window and the icon as the toolkit has them.
class ITrayHost {
 public:
  virtual ~ITrayHost() = default;
  virtual bool HasMainWindow() const = 0;
  virtual void SetMainWindowVisible(bool visible) = 0;
  virtual bool MainWindowMinimized() const = 0;
  virtual void RestoreMainWindow() = 0;  // from minimised to its normal state
  virtual void SetIconVisible(bool visible) = 0;
  virtual void SetTip(const std::string& tip) = 0;
};

class TTrayIcon {
 public:
  static constexpr std::size_t kMaxTipLength = 127;

  TTrayIcon(ITrayHost& host, IClickTimer& clickTimer, std::chrono::milliseconds doubleClickTime);

  bool Enabled = true;  // when false, mouse notices are ignored
  bool StartMinimized = false;
  bool MinimizeToTray = false;

  std::function<void(TTrayIcon* sender)> OnClick;
  std::function<void(TTrayIcon* sender)> OnDblClick;
  std::function<void(TTrayIcon* sender, TMouseButton button)> OnMouseDown;
  std::function<void(TTrayIcon* sender, TMouseButton button)> OnMouseUp;

  // The tip: Hint cut to 127 characters, or empty without ShowHint.
  void SetHint(const std::string& hint);
  void SetShowHint(bool show);
  const std::string& Hint() const { return hint_; }
  std::string TipText() const;

  void SetIconVisible(bool visible);
  bool IconVisible() const { return iconVisible_; }

  // After the program's windows are created: with StartMinimized the main
  // window stays hidden; the icon goes into the tray.
  void Loaded();

  // The icon's mouse notices.
  void MouseDown(TMouseButton button);
  void MouseUp(TMouseButton button);
  void DoubleClick();
  void ClickTimerElapsed();

  // The program was minimised: with MinimizeToTray its window goes to the tray.
  void ApplicationMinimized();

  void ShowMainWindow();
  void HideMainWindow();
  void MinimizeToTrayNow();

 private:
  void UpdateTrayIcon();

  ITrayHost& host_;
  IClickTimer& clickTimer_;
  std::chrono::milliseconds doubleClickTime_;
  std::string hint_;
  bool showHint_ = true;
  bool iconVisible_ = true;
  bool leftButtonDown_ = false;
  bool clickPending_ = false;
  bool doubleClicked_ = false;
};

}  // namespace qb
