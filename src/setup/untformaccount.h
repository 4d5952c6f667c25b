// TForm2, "Modification Needed": the mail client's POP3 accounts with check
// boxes, "Change Settings Automatically" that points the ticked ones at the
// gateway, the instructions for doing it by hand, and "Do not show this
// dialog again", remembered in options.txt when the dialog closes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "setup/untAccounts.h"

namespace qb {

inline constexpr const char* kForm2Caption = "Modification Needed";
inline constexpr const char* kForm2Label1 =
    "In order to use the software, a modification is needed in your settings of your email "
    "client software";
inline constexpr const char* kForm2Button1Caption = "Change Settings Automatically";
inline constexpr const char* kForm2CheckCaption = "Do not show this dialog again";
inline constexpr const char* kForm2Button2Caption = "&Close";
inline constexpr const char* kRestartWarningText =
    "Warning! You must restart your email client software in order to use settings in "
    "Quillbright";

// Label2: what the automatic part can change.
std::string Form2Label2Text();
// Label3: the manual change, and where Thunderbird keeps these settings;
// `gatewayPort` is named when it is not 110.
std::string Form2Label3Text(int gatewayPort);
// The box that names the accounts the rewrite could not change.
std::string AccountFailuresText(const std::vector<TAccountFailure>& failures);

struct TCheckListItem {
  std::string Text;
  bool Checked = false;
};

class TForm2 {
 public:
  TForm2(std::string programFolder, int gatewayPort);

  std::vector<TCheckListItem> CheckListBox1;
  bool Button1Enabled = true;
  bool Panel1Visible = true;
  bool chkmodification = false;
  int ModalResult = 0;  // 1 after a successful "Change Settings Automatically"

  const std::vector<std::string>& AccountKeys() const { return keys_; }

  // Lists the accounts of the detected store, ticked; accounts without a
  // POP3 server are dropped. No account left: the automatic part is hidden.
  void FormCreate();
  void SetChecked(std::size_t index, bool checked);
  // Shows what will change for each ticked account and asks once; only a
  // yes rewrites the ticked accounts. A backup error is shown and the dialog
  // stays open. Accounts that could not be changed are named in one error
  // box, and the dialog then stays open too. The restart warning comes only
  // when an account was changed. Otherwise the dialog closes with result 1.
  void Button1Click();
  // "&Close".
  void Button2Click();
  // Runs once, however the dialog closes: releases the account list and
  // writes options.txt ("N" when "Do not show this dialog again" is ticked,
  // else "Y"); a write error is ignored.
  void FormClose();

  // Fired when the controller closes the dialog (after FormClose), so the
  // view can end its modal loop; and after every change the view shows.
  std::function<void(TForm2* sender)> OnCloseRequest;
  std::function<void(TForm2* sender)> OnChanged;

 private:
  void CloseWith(int result);
  void Changed();

  std::string programFolder_;
  int gatewayPort_;
  AccountStore store_ = AccountStore::asNone;
  std::vector<std::string> keys_;
  bool closed_ = false;
};

}  // namespace qb
