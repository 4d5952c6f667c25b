// TForm1: the main window's logic, without a display. It owns the gateway,
// the screening state and the review list, keeps the state of the controls
// the view shows, and tells the view through OnChanged when any of it
// changed, and through the row events which rows of the review list did. The popup and the tray
// icon are reached through interfaces.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gateway/MailGW.h"
#include "http/HTTPDownload.h"
#include "platform/AresLookups.h"
#include "platform/HostResolver.h"
#include "platform/ResolverPool.h"
#include "screening/ReviewList.h"
#include "screening/ScreeningState.h"
#include "screening/SessionScreening.h"
#include "screening/WindowServices.h"

namespace qb {

// A point on the screen, in pixels.
struct TPoint {
  int X = 0;
  int Y = 0;
};

// The review list's context menu: which of its items are enabled.
struct TReviewListMenu {
  bool Block1Enabled = false;                     // "Block this subject"
  bool Block2Enabled = false;                     // "Block this sender (From: field)"
  bool BlocktherecipientTofield1Enabled = false;  // "Block this recipient (To: field)"
  bool Unblockthissubject1Enabled = false;        // "Unselect this subject"
  bool Unblockthissender1Enabled = false;         // "Unselect this sender"
  bool AllowSender1Enabled = false;               // "Always allow this sender"
};

// The message a context menu was opened over: its account, its number and
// UID on the server, and the row it was in then.
struct TMenuMessage {
  std::string Account;
  std::int64_t Number = 0;
  std::string Uid;
  std::size_t Row = 0;
};

// What a menu action says when its message has left the list meanwhile.
inline constexpr const char* kMessageGoneText =
    "That message is no longer in the list: nothing was changed.";

class TForm1 {
 public:
  TForm1(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon, IHostResolver& resolver);
  // Closes the gateway first, while the screening, the rows and the state
  // its sessions use are all still there; from here on no event of the
  // window reaches a view.
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The name lookups of the gateway's logins, off the main thread.
  TResolverPool Resolvers;
  // The scans' block-list lookups: over DNS with c-ares when the program
  // uses the system's resolver (both follow /etc/resolv.conf), on the pool
  // when a test gives a resolver of its own or c-ares cannot start.
  std::unique_ptr<TAresLookups> BlockListDns;
  IAsyncLookups& BlockListLookups();
  ScreeningState State;
  ReviewList ReviewListView1;
  TMainWindowControls Controls;
  TSessionScreening Screening;
  TMailGateway MailGateway1;
  // The two list downloads of the start-up: the virus list and the
  // spam-source list.
  THTTPDownload HTTPDownload1;
  THTTPDownload HTTPDownload2;
  // The status bar's one panel.
  std::string StatusBar1Text;

  // Fired after every change the view may need to show.
  std::function<void(TForm1* sender)> OnChanged;
  // The review list's rows, one notice per change, for a view's model:
  // all rows anew (cleared, sorted, classified), rows appended, one row's
  // tick or icon changed.
  std::function<void(TForm1* sender)> OnRowsReset;
  std::function<void(TForm1* sender, std::size_t first, std::size_t count)> OnRowsInserted;
  std::function<void(TForm1* sender, std::size_t index)> OnRowChanged;
  // Fired when the window has closed for good (after Exit); whoever owns
  // the window ends the program and frees it afterwards, never inside this.
  std::function<void(TForm1* sender)> OnClose;

  // The setup dialogs, shown modally by the view: the usage dialog (at a
  // "-shortcut" start) and the modification dialog (the Setup Wizard).
  // Without a handler (the headless program) they are skipped.
  std::function<void(TForm1* sender)> OnShowUsageDialog;
  std::function<void(TForm1* sender)> OnSetupWizard;

  // Set by the main routine before FormCreate: started with "-shortcut".
  bool ShortcutStart = false;
  // Set only by the tray menu's "Exit": closing then ends the program.
  bool ExitRequested = false;

  // The window's set-up, run once by the main routine after creating it:
  // program folder, list files, and the gateway opened on ListeningPort().
  void FormCreate();
  // Closing the window. Without ExitRequested it only hides (the program
  // runs on in the tray) and returns false. With it, the gateway closes its
  // sessions and its listener, the lists are freed, OnClose fires, and it
  // returns true.
  bool Close();

  // "Remove Checked": the held-back LIST reply goes to the session under
  // review, and from then on its RETR of a ticked message becomes a DELE.
  void Button1Click();

  // The reviews: the account whose review is shown (empty when none is),
  // the accounts whose reviews wait, and showing one of those instead (the
  // review shown then waits first in line, its ticks kept). False when the
  // switch cannot be made now.
  std::string ReviewedAccount() const;
  std::vector<std::string> WaitingReviews() const { return Screening.WaitingAccounts(); }
  bool ShowWaitingReview(std::size_t index);

  // The review list. A column click sorts by that column; a second click on
  // the same column reverses the order. Compare gives the order as <0, 0, >0.
  void ReviewListView1ColumnClick(ReviewColumn column);
  int ReviewListView1Compare(const MessageRow& a, const MessageRow& b) const;

  // The context menu opens at the mouse position; the view passes the index
  // of the row under it, or nullopt over an empty part of the list. The
  // menu's actions then act on that row's message wherever a sort has moved
  // it, and do nothing but say so (kMessageGoneText) when it has left the
  // list or another account's rows replaced it.
  void PopupMenu2Popup(TPoint mousePosition, std::optional<std::size_t> rowUnderPoint);
  TPoint PopupPoint;
  std::optional<TMenuMessage> PopupMessage;
  TReviewListMenu PopupMenu2;

  void Block1Click();                     // "Block this subject"
  void Block2Click();                     // "Block this sender (From: field)"
  void BlocktherecipientTofield1Click();  // "Block this recipient (To: field)"
  void Unblockthissubject1Click();        // "Unselect this subject"
  void Unblockthissender1Click();         // "Unselect this sender"
  // "Always allow this sender": the row's From goes into friends.txt, and
  // every row from a friend is unticked and shown as useful.
  void AllowSender1Click();
  // After the Options menu's friends editor has changed friends.txt: the
  // list in memory follows it (the next classification uses it).
  void ReloadFriendList();

  // The user ticks or unticks a row in the view.
  void SetRowChecked(std::size_t index, bool checked);

  // A click on the popup notification brings the window up.
  void PopupNotifier1Click();

  // The main menu's "Setup Wizard", also run by the usage dialog's "Click
  // here" and by the setup prompt at start.
  void SetupWizard1Click();

  IPopupNotifier& PopupNotifier1;
  ITrayIcon& TrayIcon1;

 private:
  struct BlockAction {
    TextLines ScreeningState::*List;
    const char* FileName;
    std::string MessageRow::*Column;
    MessageCategory Icon;
  };

  void ConfigureGateway();
  void ForwardRowEvents();
  void Changed();
  // Set-up steps that later work fills in; they keep their place in the order.
  void NarrowPrivateFilesOnce();
  void StartListDownloads();
  void RunFirstRunSteps();
  void OpenGateway();
  void UseChosenBlockListZone();
  std::optional<std::size_t> PopupMessageRow();
  MessageRow* RowUnderPopupPoint();
  void Block(const BlockAction& action);
  bool AddToListFile(const char* fileName, const std::string& text, TextLines& list,
                     bool usableOnly);
  void Unselect();

  bool destroying_ = false;
};

}  // namespace qb
