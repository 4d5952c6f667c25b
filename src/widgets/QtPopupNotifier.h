// The main window's popup, PopupNotifier1, on Qt: the popup logic of notify/
// with the screen's geometry and TPopupWindow for its windows. The session
// sets its properties as texts; they are taken over at each ShowPopup.
#pragma once

#include "notify/PopupNotifier.h"
#include "screening/WindowServices.h"

namespace qb {

// The primary screen: its taskbar from the screen's geometry against its
// available geometry, the work area from the available geometry.
class TScreenDesktop : public IPopupDesktop {
 public:
  std::optional<TRect> TaskbarRect() override;
  TRect WorkArea() override;
};

class TQtPopupNotifier : public IPopupNotifier {
 public:
  TQtPopupNotifier();

  TPopupProperties& Properties() override { return properties_; }
  void ShowPopup() override;
  void CloseAllPopups() override;

  TPopupNotifier& Notifier() { return notifier_; }

 private:
  TPopupProperties properties_;
  TScreenDesktop desktop_;
  TPopupNotifier notifier_;
};

}  // namespace qb
