#include "notify/TrayIcon.h"

namespace qb {

TTrayIcon::TTrayIcon(ITrayHost& host, IClickTimer& clickTimer,
                     std::chrono::milliseconds doubleClickTime)
    : host_(host), clickTimer_(clickTimer), doubleClickTime_(doubleClickTime) {}

void TTrayIcon::SetHint(const std::string& hint) {
  hint_ = hint;
  UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool show) {
  showHint_ = show;
  UpdateTrayIcon();
}

std::string TTrayIcon::TipText() const {
  if (hint_.empty() || !showHint_) return {};
  return hint_.substr(0, kMaxTipLength);
}

void TTrayIcon::UpdateTrayIcon() {
  host_.SetTip(TipText());
}

void TTrayIcon::SetIconVisible(bool visible) {
  iconVisible_ = visible;
  host_.SetIconVisible(visible);
}

void TTrayIcon::Loaded() {
  if (StartMinimized && host_.HasMainWindow()) host_.SetMainWindowVisible(false);
  UpdateTrayIcon();
  host_.SetIconVisible(iconVisible_);
}

void TTrayIcon::MouseDown(TMouseButton button) {
  if (!Enabled) return;
  if (button == TMouseButton::mbLeft) clickTimer_.Start(doubleClickTime_);
  if (OnMouseDown) OnMouseDown(this, button);
  if (button == TMouseButton::mbLeft) leftButtonDown_ = true;
}

// A press held past the double-click time is a single click at its release.
void TTrayIcon::MouseUp(TMouseButton button) {
  if (!Enabled) return;
  if (button == TMouseButton::mbLeft) {
    if (leftButtonDown_) clickPending_ = true;
    if (leftButtonDown_ && !clickTimer_.Active()) {
      leftButtonDown_ = false;
      clickPending_ = false;
      if (OnClick) OnClick(this);
    }
    leftButtonDown_ = false;
  }
  if (OnMouseUp) OnMouseUp(this, button);
}

void TTrayIcon::DoubleClick() {
  if (!Enabled) return;
  clickPending_ = false;
  doubleClicked_ = true;
  if (OnDblClick) OnDblClick(this);
}

void TTrayIcon::ClickTimerElapsed() {
  clickTimer_.Stop();
  if (!doubleClicked_ && clickPending_) {
    clickPending_ = false;
    if (OnClick) OnClick(this);
  }
  doubleClicked_ = false;
}

void TTrayIcon::ApplicationMinimized() {
  if (MinimizeToTray) MinimizeToTrayNow();
}

void TTrayIcon::ShowMainWindow() {
  if (!host_.HasMainWindow()) return;
  host_.SetMainWindowVisible(true);
  if (host_.MainWindowMinimized()) host_.RestoreMainWindow();
}

void TTrayIcon::HideMainWindow() {
  if (host_.HasMainWindow()) host_.SetMainWindowVisible(false);
}

void TTrayIcon::MinimizeToTrayNow() {
  HideMainWindow();
  SetIconVisible(true);
}

}  // namespace qb
