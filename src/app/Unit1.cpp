#include "app/Unit1.h"

#include <iostream>

#include "app/ListUpdate.h"

#include "app/FirstRun.h"
#include "app/ListFiles.h"
#include "app/LocalTls.h"
#include "app/ProgramFolder.h"
#include "app/ProgramSettings.h"
#include "app/RemovalSettings.h"
#include "app/ReviewSettings.h"
#include "app/StartMessages.h"
#include "app/StartUp.h"
#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "platform/MessageLoop.h"
#include "platform/PrivateFiles.h"
#include "platform/Shell.h"

namespace qb {

TForm1::TForm1(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon, IHostResolver& resolver)
    : Resolvers(resolver),
      BlockListDns(dynamic_cast<SystemHostResolver*>(&resolver) != nullptr
                       ? std::make_unique<TAresLookups>()
                       : nullptr),
      Screening(State, ReviewListView1, Controls, popupNotifier, trayIcon, BlockListLookups()),
      PopupNotifier1(popupNotifier),
      TrayIcon1(trayIcon) {
  ConfigureGateway();
  ForwardRowEvents();
}

IAsyncLookups& TForm1::BlockListLookups() {
  if (BlockListDns && BlockListDns->Failure().empty()) return *BlockListDns;
  return Resolvers;
}

TForm1::~TForm1() {
  destroying_ = true;
  MailGateway1.Close();
  UnloadProgramSettings();
}

// The settings' DNS block list, when one is chosen, replaces the zone that
// dnsbl.txt names.
void TForm1::UseChosenBlockListZone() {
  const std::string zone = SettingValue(*FindProgramSetting("dnsbl-zone"));
  if (zone.empty()) return;
  if (State.DnsblList.empty()) State.DnsblList.push_back(zone);
  State.DnsblList.front() = zone;
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
  MailGateway1.Addr6 = "::1";
  MailGateway1.Port = "pop3";
  MailGateway1.MaxClients = 50;
  MailGateway1.DelimChar = '#';
  MailGateway1.SetGatewayType(gtPop3);
  MailGateway1.SetResolverPool(&Resolvers);
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
  MailGateway1.OnPlainUpstream = [this](TMailGateway*, const std::string& server) {
    StatusBar1Text = PlainUpstreamText(server);
    std::cerr << StatusBar1Text << std::endl;
    Changed();
  };
  MailGateway1.OnError = [](TCustomAsyncSocket*) {};
}

void TForm1::FormCreate() {
  ProgramFolderPlaces places = CurrentProgramFolderPlaces();
  ChosenProgramFolder folder = ChooseProgramFolder(places);
  State.ProgramFolder = folder.Folder;
  LoadProgramSettings(State.ProgramFolder);
  std::cerr << StartLogLine(folder, places.ShippedFolder, ListeningPort(),
                            FindListFiles(State.ProgramFolder))
            << std::endl;
  if (!folder.Error.empty()) {
    CurrentDialogs().ShowMessageBox(ProgramFolderFailureText(folder), TMsgDlgType::mtError);
  }
  NarrowPrivateFilesOnce();
  MailGateway1.StlsServersFile = State.ProgramFolder + "stlsservers.txt";
  Screening.ReviewLimits.Hold = ReviewHoldSetting(Screening.ReviewLimits.Hold);
  State.ScanCancelled = false;
  StartListDownloads();
  RunFirstRunSteps();
  ExitRequested = false;
  State.ListReply.clear();
  State.UidlReply.clear();
  Controls.Button1Enabled = false;
  LoadListFiles(State);
  UseChosenBlockListZone();
  Screening.UseBlockListZone();
  Screening.RemovedMail = ReadRemovedMailSettings();
  RemoveExpiredCopies(State.ProgramFolder, Screening.RemovedMail);
  OpenGateway();
  Changed();
}

// Copies, decisions and account files made by an earlier version (or by
// hand) readable by others are made the user's alone; the user hears once.
void TForm1::NarrowPrivateFilesOnce() {
  int narrowed = NarrowPrivateFiles(State.ProgramFolder);
  if (narrowed == 0) return;
  StatusBar1Text = std::to_string(narrowed) + " files and folders with mail or account data in " +
                   State.ProgramFolder +
                   " were readable by others; they are now readable by you only.";
  std::cerr << "quillbright: " << StatusBar1Text << std::endl;
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

// Once, at the first "-shortcut" start: the help page and the usage
// dialog, then the setup prompt; the dialogs are modal, so start-up goes on
// after they close. The program without dialogs (headless) never runs it.
void TForm1::RunFirstRunSteps() {
  if (!ShortcutStart || !OnShowUsageDialog || FirstRunDone(State.ProgramFolder)) return;
  MarkFirstRunDone(State.ProgramFolder);
  CurrentShell().OpenDocument(HelpFilePath(State.ProgramFolder));
  OnShowUsageDialog(this);
  if (IsSetupPromptNeeded(State.ProgramFolder)) SetupWizard1Click();
}

void TForm1::SetupWizard1Click() {
  if (OnSetupWizard) OnSetupWizard(this);
}

// A gateway that cannot listen is reported with its own text, led by what
// it means and the ways out when the port needs a right or is taken; the
// program runs on without screening.
void TForm1::OpenGateway() {
  MailGateway1.Port = ListeningPort();
  if (std::string problem = SetUpLocalTls(MailGateway1, State.ProgramFolder); !problem.empty()) {
    std::cerr << problem << std::endl;
  }
  std::string error = MailGateway1.Open();
  for (const std::string& notice : MailGateway1.ListenNotices) std::cerr << notice << std::endl;
  if (!error.empty()) {
    CurrentDialogs().ShowMessageBox(ListenFailureText(error, MailGateway1.Port, ExecutablePath()),
                                    TMsgDlgType::mtError);
  }
}

bool TForm1::Close() {
  if (!ExitRequested) {
    TrayIcon1.HideMainWindow();
    return false;
  }
  MailGateway1.Close();
  Screening.ReviewClient.Reset();
  Screening.ListOwner.Reset();
  for (TextLines* list : {&State.ListReply, &State.UidlReply, &State.VirusList, &State.SenderList,
                          &State.RecipientList, &State.SubjectList, &State.SpamFlags,
                          &State.DnsblList, &State.FriendList}) {
    list->clear();
  }
  Controls.Button1Enabled = false;
  if (OnClose) OnClose(this);
  return true;
}

std::string TForm1::ReviewedAccount() const {
  const TOpenReview& review = Screening.OpenReview();
  return review.Open ? TrimBlanks(review.AccountText) : "";
}

bool TForm1::ShowWaitingReview(std::size_t index) {
  if (!Screening.ShowWaitingReview(index)) return false;
  PopupMessage.reset();
  Changed();
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
  Controls.Button1Enabled = false;  // enabled again if the decisions could not be recorded
  Screening.RemoveChecked();
  TrayIcon1.ShowMainWindow();
  TrayIcon1.HideMainWindow();
  PopupNotifier1.Properties().TimeOut = 0;
  PopupNotifier1.CloseAllPopups();
  Changed();
  MessageLoop::Instance().ProcessMessages();
}

}  // namespace qb
