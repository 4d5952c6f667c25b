// The popup and the tray icon for tests of the main window's logic: they
// record what they were asked to do.
#pragma once

#include <string>
#include <vector>

#include "screening/WindowServices.h"

namespace qb::test {

class RecordingPopup : public IPopupNotifier {
 public:
  TPopupProperties& Properties() override { return properties; }
  void ShowPopup() override { shown.push_back(properties); }
  void CloseAllPopups() override { ++closeAllCalls; }

  TPopupProperties properties;
  std::vector<TPopupProperties> shown;  // the properties at each ShowPopup
  int closeAllCalls = 0;
};

class RecordingTray : public ITrayIcon {
 public:
  void ShowMainWindow() override { calls.push_back("show"); }
  void HideMainWindow() override { calls.push_back("hide"); }
  std::vector<std::string> calls;
};

}  // namespace qb::test
