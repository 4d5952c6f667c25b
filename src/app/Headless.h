// The headless program's stand-ins for the review window: a popup and a
// tray icon that show nothing, and the remover that presses "Remove
// Checked" itself once a scan is complete, after writing one line about the
// scan to its report stream.
#pragma once

#include <ostream>
#include <string>

#include "app/Unit1.h"
#include "platform/MessageLoop.h"
#include "screening/WindowServices.h"

namespace qb {

class TSilentPopup : public IPopupNotifier {
 public:
  TPopupProperties& Properties() override { return properties_; }
  void ShowPopup() override {}
  void CloseAllPopups() override {}

 private:
  TPopupProperties properties_;
};

class TSilentTray : public ITrayIcon {
 public:
  void ShowMainWindow() override {}
  void HideMainWindow() override {}
};

// "quillbrightd: <account>: <n> messages scanned, <t> ticked (virus v,
// spam s, blocked subject b, blocked sender f, blocked recipient r)". The
// account is the login's account#server, without the line end.
std::string FormatScanReport(const ScreeningState& state, const ReviewList& review);

// Watches the main window: when "Remove Checked" becomes enabled after a
// server event, it posts itself a message and, when that message comes,
// reports the scan and presses the button, outside the gateway's handler.
// Takes over the window's OnChanged, and writes every line of removed.log
// to the report stream as it is appended.
class THeadlessRemover {
 public:
  THeadlessRemover(TForm1& form, std::ostream& report);
  ~THeadlessRemover();
  THeadlessRemover(const THeadlessRemover&) = delete;
  THeadlessRemover& operator=(const THeadlessRemover&) = delete;

  int ScansRemoved() const { return scansRemoved_; }

 private:
  void FormChanged();
  void PressRemoveChecked();

  TForm1& form_;
  std::ostream& report_;
  HWND window_ = 0;
  bool pressPending_ = false;
  unsigned pressedReview_ = 0;  // the review serial of the last press
  int scansRemoved_ = 0;
};

}  // namespace qb
