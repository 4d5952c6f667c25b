#include "app/Unit1.h"

#include <iostream>

#include "app/ListUpdate.h"

#include "app/FirstRun.h"
#include "app/ListFiles.h"
#include "app/ProgramFolder.h"
#include "app/StartUp.h"
#include "platform/Dialogs.h"
#include "platform/MessageLoop.h"
#include "platform/Shell.h"

namespace qb {

TForm1::TForm1(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon, IHostResolver& resolver)
    : Screening(State, ReviewListView1, Controls, popupNotifier, trayIcon, resolver),
      PopupNotifier1(popupNotifier),
      TrayIcon1(trayIcon) {
  ConfigureGateway();
  ForwardRowEvents();
}

TForm1::~TForm1() {
  destroying_ = true;
  MailGateway1.Close();
}

void TForm1::ForwardRowEvents() {
  ReviewListView1.OnRowsReset = [this](ReviewList*) {
    if (!destroying_ && OnRowsReset) OnRowsReset(this);
  };
  ReviewListView1.OnRowsInserted = [this](ReviewList*, std::size_t first, std::size_t count) {
    if (!destroying_ && OnRowsInserted) OnRowsInserted(this, first, count);
  };
  ReviewListView1.OnRowChanged = [this](ReviewList*, std::size_t index) {
    if (!destroying_ && OnRowChanged) OnRowChanged(this, index);
  };
}

void TForm1::ConfigureGateway() {
  MailGateway1.Addr = "127.0.0.1";
  MailGateway1.Port = "pop3";
  MailGateway1.MaxClients = 50;
  MailGateway1.DelimChar = '#';
  MailGateway1.SetGatewayType(gtPop3);
  MailGateway1.OnClientSend = [this](TMailGateway* sender, TMailGWClient* client, std::string& data,
                                     TClientState state) {
    Screening.MailGateway1ClientSend(sender, client, data, state);
    Changed();
  };
  MailGateway1.OnServerSend = [this](TMailGateway* sender, TAsyncSocket* server, std::string& data,
                                     TClientState state) {
    Screening.MailGateway1ServerSend(sender, server, data, state);
    Changed();
  };
  MailGateway1.OnServerClosed = [this](TMailGateway* sender, TMailGWClient* client,
                                       std::uint16_t error) {
    Screening.MailGateway1ServerClosed(sender, client, error);
    Changed();
  };
  MailGateway1.OnClientClosed = [this](TMailGateway* sender, TMailGWClient* client,
                                       std::uint16_t error) {
    Screening.MailGateway1ClientClosed(sender, client, error);
    Changed();
  };
  Screening.OnChanged = [this] { Changed(); };
  Screening.OnStatus = [this](const std::string& text) { StatusBar1Text = text; };
  MailGateway1.OnSessionClosed = [](TMailGateway*, std::uint16_t) {};
  MailGateway1.OnError = [](TCustomAsyncSocket*) {};
}

void TForm1::FormCreate() {
  State.ProgramFolder = ProgramFolder();
  MailGateway1.StlsServersFile = State.ProgramFolder + "stlsservers.txt";
  State.ScanCancelled = false;
  StartListDownloads();
  RunFirstRunSteps();
  ExitRequested = false;
  State.ScanPosition = 1;
  State.ListReply.clear();
  State.UidlReply.clear();
  Controls.Button1Enabled = false;
  LoadListFiles(State);
  OpenGateway();
  Changed();
}

// The two list downloads run on their own; the set-up does not wait for
// them. A list that arrives whole replaces its file and says so in the
// status bar; a failed download changes nothing and says nothing. Without a
// list server nothing is asked, and standard error and the status bar say so.
void TForm1::StartListDownloads() {
  StartListUpdates(
      HTTPDownload1, HTTPDownload2, State.ProgramFolder,
      [this](const std::string& text) {
        StatusBar1Text = text;
        Changed();
      },
      std::cerr);
}

// The help page and the usage dialog at a "-shortcut" start, then the setup
// prompt; the dialogs are modal, so start-up goes on after they close.
void TForm1::RunFirstRunSteps() {
  if (ShortcutStart) {
    CurrentShell().OpenDocument(HelpFilePath(State.ProgramFolder));
    if (OnShowUsageDialog) OnShowUsageDialog(this);
  }
  if (IsSetupPromptNeeded(State.ProgramFolder)) SetupWizard1Click();
}

void TForm1::SetupWizard1Click() {
  if (OnSetupWizard) OnSetupWizard(this);
}

// A gateway that cannot listen is reported with its own text; the program
// runs on without screening.
void TForm1::OpenGateway() {
  MailGateway1.Port = ListeningPort();
  std::string error = MailGateway1.Open();
  if (!error.empty()) CurrentDialogs().ShowMessageBox(error, TMsgDlgType::mtError);
}

bool TForm1::Close() {
  if (!ExitRequested) {
    TrayIcon1.HideMainWindow();
    return false;
  }
  MailGateway1.Close();
  Screening.ReviewClient.Reset();
  Screening.ListOwner.Reset();
  for (TextLines* list :
       {&State.ListReply, &State.UidlReply, &State.VirusList, &State.SenderList,
        &State.RecipientList, &State.SubjectList, &State.SpamFlags, &State.DnsblList}) {
    list->clear();
  }
  Controls.Button1Enabled = false;
  if (OnClose) OnClose(this);
  return true;
}

void TForm1::Changed() {
  if (!destroying_ && OnChanged) OnChanged(this);
}

// The ticked messages are deleted on the server first; the client then gets
// its LIST reply without them. Nothing is sent to a session that has closed
// meanwhile.
void TForm1::Button1Click() {
  Controls.lblAccountCaption.clear();
  Screening.RemoveChecked();
  TrayIcon1.ShowMainWindow();
  TrayIcon1.HideMainWindow();
  Controls.Button1Enabled = false;
  PopupNotifier1.Properties().TimeOut = 0;
  PopupNotifier1.CloseAllPopups();
  Changed();
  MessageLoop::Instance().ProcessMessages();
}

}  // namespace qb
