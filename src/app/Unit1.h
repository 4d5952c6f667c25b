// TForm1: the main window's logic, without a display. It owns the gateway,
// the screening state and the review list, keeps the state of the controls
// the view shows, and tells the view through OnChanged when any of it
// changed. The popup and the tray icon are reached through interfaces.
#pragma once

#include <functional>

#include "gateway/MailGW.h"
#include "platform/HostResolver.h"
#include "screening/ReviewList.h"
#include "screening/ScreeningState.h"
#include "screening/SessionScreening.h"
#include "screening/WindowServices.h"

namespace qb {

class TForm1 {
 public:
  TForm1(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon, IHostResolver& resolver);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  ScreeningState State;
  ReviewList ReviewListView1;
  TMainWindowControls Controls;
  TSessionScreening Screening;
  TMailGateway MailGateway1;

  // Fired after every change the view may need to show.
  std::function<void(TForm1* sender)> OnChanged;

  // "Remove Checked": the held-back LIST reply goes to the session under
  // review, and from then on its RETR of a ticked message becomes a DELE.
  void Button1Click();

  IPopupNotifier& PopupNotifier1;
  ITrayIcon& TrayIcon1;

 private:
  void ConfigureGateway();
  void Changed();
};

}  // namespace qb
