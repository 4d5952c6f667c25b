// What the screened session changes on the main window: the state of a few
// controls, and the popup and the tray icon, reached through interfaces so
// that the desktop program, the headless program and the tests can each
// supply their own.
#pragma once

#include <algorithm>
#include <string>

namespace qb {

// A progress bar's range and position; the position stays inside the range.
struct TProgressBar {
  int Min = 0;
  int Max = 100;
  int Position = 0;
  void SetMin(int value) {
    Min = value;
    SetPosition(Position);
  }
  void SetMax(int value) {
    Max = value;
    SetPosition(Position);
  }
  void SetPosition(int value) { Position = Max >= Min ? std::clamp(value, Min, Max) : Min; }
};

// The controls of the main window that the session handlers touch.
struct TMainWindowControls {
  bool pnlIlkGorunumVisible = true;  // the introduction, until the first login
  bool Panel1Visible = false;        // the legend and "Remove Checked"
  std::string lblAccountCaption;
  TProgressBar ProgressBar1;
  bool Button1Enabled = false;  // "Remove Checked"
};

// The popup notifier's properties that the session sets. Colours are texts
// "$" + eight hexadecimal digits: a flag byte, then blue, green and red.
struct TPopupProperties {
  std::string GradientColor1;
  std::string GradientColor2;
  std::string Title;
  std::string Text;
  int TimeOut = 0;
};

class IPopupNotifier {
 public:
  virtual ~IPopupNotifier() = default;
  virtual TPopupProperties& Properties() = 0;
  virtual void ShowPopup() = 0;
  virtual void CloseAllPopups() = 0;
};

class ITrayIcon {
 public:
  virtual ~ITrayIcon() = default;
  virtual void ShowMainWindow() = 0;
  virtual void HideMainWindow() = 0;
};

}  // namespace qb
