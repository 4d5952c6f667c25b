#include "setup/untformaccount.h"

#include "platform/Dialogs.h"
#include "platform/RegistryFile.h"
#include "setup/AccountBackup.h"
#include "setup/SetupOptions.h"
#include "setup/SetupPreview.h"

namespace qb {

std::string Form2Label2Text() {
  return "Change settings automatically to your email client software \n"
         "*Outlook 98\n"
         "*Outlook 2000\n"
         "*Outlook Express\n"
         "*Thunderbird (POP3 accounts)";
}

std::string Form2Label3Text(int gatewayPort) {
  std::string text =
      "To change manually POP3 settings of email account in your client software :\n"
      "\n"
      "If the original settings are:\n"
      "POP3 Server Name   : <servername>\n"
      "POP3 Account Name: <accountname>\n"
      "\n"
      "These settings must be replaced by:\n"
      "POP3 Server Name   : localhost\n"
      "POP3 Account Name: <accountname>#<servername>\n"
      "\n"
      "In Thunderbird: Account Settings, Server Settings of the account: Server Name "
      "localhost, Port " +
      std::to_string(gatewayPort) +
      ", User Name <accountname>#<servername>, Connection security None.";
  return text;
}

std::string AccountFailuresText(const std::vector<TAccountFailure>& failures) {
  std::string text = "These accounts could not be changed:";
  for (const TAccountFailure& failure : failures) {
    text += "\n" + failure.Account + ": " + failure.Reason;
  }
  return text;
}

TForm2::TForm2(std::string programFolder, int gatewayPort)
    : programFolder_(std::move(programFolder)), gatewayPort_(gatewayPort) {}

void TForm2::FormCreate() {
  store_ = DetectAccountStore();
  TAccountList list = ListAccounts(store_);
  std::vector<std::string> names = SplitLines(list.names);
  CheckListBox1.clear();
  keys_.clear();
  for (std::size_t i = 0; i < list.keys.size() && i < names.size(); ++i) {
    if (ReadAccountString(store_, list.keys[i], "POP3 Server").empty()) continue;
    CheckListBox1.push_back({names[i], true});
    keys_.push_back(list.keys[i]);
  }
  Button1Enabled = !CheckListBox1.empty();
  Panel1Visible = !CheckListBox1.empty();
  Changed();
}

void TForm2::SetChecked(std::size_t index, bool checked) {
  if (index >= CheckListBox1.size()) return;
  CheckListBox1[index].Checked = checked;
  Changed();
}

// The accounts are rewritten in the store they were listed from, so a key
// never reaches another store.
void TForm2::Button1Click() {
  std::vector<std::string> lines;
  std::vector<std::size_t> ticked;
  for (std::size_t i = 0; i < CheckListBox1.size(); ++i) {
    lines.push_back(CheckListBox1[i].Text);
    if (CheckListBox1[i].Checked) ticked.push_back(i);
  }
  if (!ticked.empty() &&
      !CurrentDialogs().Confirm(SetupPreviewText(store_, keys_, lines, ticked, gatewayPort_),
                                kSetupConfirmCaption)) {
    return;
  }
  TRewriteResult result;
  try {
    result = RewriteAccountsForGateway(store_, keys_, lines, ticked, programFolder_, gatewayPort_);
  } catch (const EBackupError& error) {
    CurrentDialogs().ShowMessageBox(error.what(), TMsgDlgType::mtError);
    return;
  }
  if (!result.Failed.empty()) {
    CurrentDialogs().ShowMessageBox(AccountFailuresText(result.Failed), TMsgDlgType::mtError);
  }
  if (result.Changed > 0) {
    CurrentDialogs().ShowMessageBox(kRestartWarningText, TMsgDlgType::mtWarning);
  }
  if (result.Failed.empty()) CloseWith(1);
}

void TForm2::Button2Click() {
  CloseWith(2);
}

void TForm2::FormClose() {
  if (closed_) return;
  closed_ = true;
  keys_.clear();
  WriteSetupPrompt(programFolder_, chkmodification);
}

void TForm2::CloseWith(int result) {
  ModalResult = result;
  FormClose();
  if (OnCloseRequest) OnCloseRequest(this);
}

void TForm2::Changed() {
  if (OnChanged) OnChanged(this);
}

}  // namespace qb
