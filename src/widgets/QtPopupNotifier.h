// The main window's popup, PopupNotifier1, on Qt: the popup logic of notify/
// with the screen's geometry and TPopupWindow for its windows. The session
// sets its properties as texts; they are taken over at each ShowPopup.
#pragma once

#include <QRect>
#include <functional>

#include "notify/PopupNotifier.h"
#include "screening/WindowServices.h"

namespace qb {

// The primary screen: its taskbar from the screen's geometry against its
// available geometry, the work area from the available geometry. Where the
// screen keeps no room for a panel but the tray icon has a place (a tray
// host on a bare X desktop), the strip around the icon is the taskbar.
class TScreenDesktop : public IPopupDesktop {
 public:
  std::optional<TRect> TaskbarRect() override;
  TRect WorkArea() override;
  // The tray icon's place on the screen; empty when unknown.
  std::function<QRect()> TrayIconGeometry;

 private:
  std::optional<TRect> StripOfTrayIcon();
};

class TQtPopupNotifier : public IPopupNotifier {
 public:
  TQtPopupNotifier();

  TPopupProperties& Properties() override { return properties_; }
  void ShowPopup() override;
  void CloseAllPopups() override;

  TPopupNotifier& Notifier() { return notifier_; }
  TScreenDesktop& Desktop() { return desktop_; }

 private:
  TPopupProperties properties_;
  TScreenDesktop desktop_;
  TPopupNotifier notifier_;
};

}  // namespace qb
