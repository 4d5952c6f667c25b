// TfrmUsage, the usage dialog headed "HOW TO USE QUILLBRIGHT ?": five steps
// and a "Click here" button that opens the modification dialog on top of it.
#pragma once

#include <functional>
#include <string>

namespace qb {

inline constexpr const char* kUsageCaption = "Dialog";
inline constexpr const char* kUsageLabel1 = "HOW TO USE QUILLBRIGHT ?";
inline constexpr const char* kUsageLabel2 =
    "1) Click here       to setup your email client settings automatically or to read "
    "instructions to do it manually";
inline constexpr const char* kUsageButton1Caption = "Click here";
inline constexpr const char* kUsageLabel3 =
    "2) Close and rerun your email client such as Outlook Express";
inline constexpr const char* kUsageOKCaption = "OK";
inline constexpr const char* kUsageCancelCaption = "Cancel";

// Label4: steps 3 to 5.
std::string UsageLabel4Text();

class TfrmUsage {
 public:
  static constexpr int mrOk = 1;
  static constexpr int mrCancel = 2;

  int ModalResult = 0;

  // "Click here": the main window's Setup Wizard command, which shows the
  // modification dialog modally; this dialog stays open behind it.
  void Button1Click();
  void OKBtnClick() { ModalResult = mrOk; }
  void CancelBtnClick() { ModalResult = mrCancel; }

  std::function<void(TfrmUsage* sender)> OnSetupWizard;
};

}  // namespace qb
