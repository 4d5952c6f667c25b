// The main window's handling of the POP3 sessions: what the mail client's
// commands become upstream (OnClientSend), and what the server's replies
// become for the client (OnServerSend). Replies are relayed, except that a
// bare LIST reply is held back while the new messages' headers are scanned,
// and a RETR of a ticked message is carried out as a DELE on the server.
//
// Every session is screened. Scans of several sessions run side by side,
// each with its own listings and rows; the window shows one review at a
// time, and the reviews made ready meanwhile wait their turn (ReviewQueue),
// the user may switch to any of them. Each session carries out its client's
// commands one at a time, in order, and reads every reply from the socket's
// events, so no session, timer or window waits for another session's
// server. The block-list lookups of a scan run on the resolver pool, in
// parallel; the review is ready when the last header is in and every lookup
// has answered.
//
// The files: ClientCommands (the client's lines, the one door for a step),
// ServerReplies (the server's), MailboxScan and RelayChecks (the scan),
// ReviewHold (decisions and the bounded hold), WaitingReviews (which review
// the window shows), RemoveChecked, RemovalCopies and DeliverAgain.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "gateway/MailGW.h"
#include "platform/MessageLoop.h"
#include "platform/ResolverPool.h"
#include "screening/DnsblChecker.h"
#include "screening/Pop3Command.h"
#include "screening/RemovedMail.h"
#include "screening/ReviewList.h"
#include "screening/ReviewQueue.h"
#include "screening/ScreenedSession.h"
#include "screening/ScreeningState.h"
#include "screening/TopReply.h"
#include "screening/WindowServices.h"

namespace qb {

// The popup and status texts of the screened session.
extern const char* const kConnectingText;
extern const char* const kCheckingText;
extern const char* const kListReadyText;
extern const char* const kListingCanceledText;
extern const char* const kDecideLaterText;
extern const char* const kDecideLaterStatus;

// The bounds of every reply the session reads whole (the greeting, the
// scan's listings and headers, the deletions of "Remove Checked").
struct TReplyLimits {
  std::chrono::milliseconds Silence{60000};  // the longest pause between two pieces
  std::chrono::milliseconds Total{300000};   // the longest a whole reply may take
  std::size_t MaxBytes = 64u << 20;
};

// The bounds of a review that keeps a mail client waiting: its first command
// that shows the mailbox is answered after Hold at the latest (never after
// more than MaxHold), and the server session hears a NOOP every KeepAlive.
// A scan still reading a reply ScanAfterHold past the hold limit (a server
// that trickles) is given up: its client gets "-ERR" and the server session
// closes, so the whole scan is bounded too.
struct TReviewLimits {
  std::chrono::milliseconds Hold{45000};
  std::chrono::milliseconds KeepAlive{240000};
  std::chrono::milliseconds MaxHold{540000};
  std::chrono::milliseconds ScanAfterHold{15000};
};

class TSessionScreening {
 public:
  TSessionScreening(ScreeningState& state, ReviewList& review, TMainWindowControls& controls,
                    IPopupNotifier& popup, ITrayIcon& tray, IAsyncLookups& blockListLookups);
  ~TSessionScreening();
  TSessionScreening(const TSessionScreening&) = delete;
  TSessionScreening& operator=(const TSessionScreening&) = delete;

  // The gateway's events.
  void MailGateway1ClientSend(TMailGateway* sender, TMailGWClient* client, std::string& data,
                              TClientState clientState);
  void MailGateway1ServerSend(TMailGateway* sender, TAsyncSocket* server, std::string& data,
                              TClientState clientState);
  void MailGateway1ServerClosed(TMailGateway* sender, TMailGWClient* client, std::uint16_t error);
  void MailGateway1ClientClosed(TMailGateway* sender, TMailGWClient* client, std::uint16_t error);

  // "Remove Checked": the ticked messages of the session under review are
  // deleted on its server, and its LIST reply is released without them.
  // Nothing is sent to a session that has gone.
  void RemoveChecked();

  // Checks the block-list zone named by the first line of the dnsbl list
  // (none when it is empty) before scans trust it. Every scan calls it, so
  // a changed list is checked at the next scan.
  void UseBlockListZone();
  TDnsblChecker& BlockListChecker() { return dnsbl_; }

  // The reviews that wait while the window shows another: their accounts,
  // in line; showing one puts the review shown first in line. False when no
  // review is shown, the index is past the line, or a press of "Remove
  // Checked" is still to be carried out.
  std::vector<std::string> WaitingAccounts() const;
  bool ShowWaitingReview(std::size_t index);

  // The session of the review shown whose LIST reply is held back until
  // "Remove Checked".
  TSessionHandle ReviewClient;
  // The session whose scan filled the review list: only its RETR commands
  // are matched against the rows.
  TSessionHandle ListOwner;
  TReplyLimits ReplyLimits;
  TRemovedMailSettings RemovedMail;

  // One line of removed.log, after it was appended (the headless program
  // prints it).
  std::function<void(const std::string& line)> OnRemovalLogged;
  TReviewLimits ReviewLimits;
  // Counts the reviews made ready, so a caller can tell one from the next.
  unsigned ReviewSerial = 0;
  const TOpenReview& OpenReview() const { return openReview_; }
  // When the command that waits for the review is answered without it at
  // the latest; none while no mail client waits for the review.
  std::optional<std::chrono::steady_clock::time_point> ReviewAnswerDue() const;

  // What the window shows changed outside the gateway's events (a reply
  // timed out, a deletion was answered, a waiting scan began).
  std::function<void()> OnChanged;
  // The status-bar text: the account under review, those whose reviews wait,
  // those being checked, and what could not be removed.
  std::function<void(const std::string& text)> OnStatus;
  // The server accepted a session's PASS: the account text (trimmed) and the
  // password, for checking ahead.
  std::function<void(const std::string& account, const std::string& password)> OnLoginAccepted;

 private:
  // Client side (ClientCommands.cpp).
  TScreenedSession& SessionFor(TMailGWClient& client);
  void LoginNotice(TScreenedSession& session, const std::string& data);
  void ListNotice();
  void DispatchWaiting(TScreenedSession& session);
  void CarryOut(TScreenedSession& session, TScreenedSession::TClientLine next);
  void StartScan(TScreenedSession& session);
  bool Scanning(const TScreenedSession& session) const;
  void AnswerHere(TScreenedSession& session, const std::string& reply);
  void Retrieve(TScreenedSession& session, const std::string& upstream);
  const MessageRow* FindOwnRow(const TMailGWClient& client, std::int64_t number) const;
  void SetStep(TScreenedSession& session, TSessionStep step);
  void SendUpstream(TScreenedSession& session, const std::string& text, TSessionStep step,
                    bool listing);

  // Server side (ServerReplies.cpp).
  void RelayPiece(TScreenedSession& session, std::string_view piece);
  void DecidingPiece(TScreenedSession& session, std::string_view piece);
  void WholeReplyArrived(TScreenedSession& session);
  void ClientCommandDone(TScreenedSession& session);
  void GreetingArrived(TScreenedSession& session);
  void RecordRetrieval(TScreenedSession& session);
  void ReplyFailed(TScreenedSession& session);
  void EndWithError(TScreenedSession& session, const std::string& reply);
  void StartReplyTimer(TScreenedSession& session);
  void ReplyTimerFired(WPARAM serial);
  void KillReplyTimer(TScreenedSession& session);

  // The scan (MailboxScan.cpp).
  void ListReplyArrived(TScreenedSession& session);
  void UidlReplyArrived(TScreenedSession& session);
  void HeaderReplyArrived(TScreenedSession& session);
  bool ListingRefused(TScreenedSession& session);
  void AskForHeader(TScreenedSession& session);
  void ShowScanStart(int start, int lines);
  void AddRow(TScreenedSession& session, TTopReply top);
  void HeadersDone(TScreenedSession& session);
  void ScanComplete(TScreenedSession& session);
  void CancelScan(TScreenedSession& session, const std::string& reply = "-ERR");

  // The block-list lookups of the scan (RelayChecks.cpp).
  void CheckRelays(TScreenedSession& session, std::size_t flagIndex, const TextLines& headerLines);
  void RelayChecked(const TSessionHandle& owner, TCheckId id, std::size_t flagIndex,
                    const std::string& listedAddress);
  void CancelRelayChecks(TScreenedSession& session);
  void BlockListNotice(const std::string& text);

  // The review and its end (RemoveChecked.cpp).
  void NextRemoval(TScreenedSession& session);
  void RemovalReplyArrived(TScreenedSession& session);
  void EndReview(TScreenedSession& session);
  void ReleaseReview(TScreenedSession& session);
  void ShowStatus();
  void Changed();

  // The copies before the deletions and the log lines after them (RemovalCopies.cpp).
  bool NeedsCopy(const TScreenedSession& session, std::int64_t number) const;
  void StartRemovals(TScreenedSession& session, const std::set<std::int64_t>& numbers);
  void NextCopy(TScreenedSession& session);
  void DeleteInstead(TScreenedSession& session, std::int64_t number);
  void CopyReplyArrived(TScreenedSession& session);
  bool CommitCopies(TScreenedSession& session);
  void KeepMessage(TScreenedSession& session, std::int64_t number);
  void DeletionAnswered(TScreenedSession& session, bool deleted);
  std::string CopyFailureText(const TScreenedSession& session) const;
  void LogRemoval(const std::string& line);
  // Copies delivered again (DeliverAgain.cpp).
  void StartDeliveries(TScreenedSession& session);
  bool AnswerRestored(TScreenedSession& session, const TPop3Command& command);
  void RenumberedReplyArrived(TScreenedSession& session);
  std::string ListingToClient(const TScreenedSession& session, const std::string& listing,
                              bool uidl) const;
  void EndDeliveries(TScreenedSession& session);
  // Decisions and the bounded hold (ReviewHold.cpp).
  void PlanReview(TScreenedSession& session, std::optional<std::int64_t> marked);
  void CarryOutDecisions(TScreenedSession& session);
  void ReviewReady(TScreenedSession& session);
  bool WaitsForReview(const TScreenedSession& session);
  void LeaveOutForReview(TScreenedSession& session);
  bool RecordDecisions();
  void RemoveCheckedLater();
  void AnswerWithoutReview(TScreenedSession& session, bool carryOutDecided);
  void KeepReviewOpen(TScreenedSession& session);
  void StartHoldTimer(TScreenedSession& session);
  void StopHoldTimer(TScreenedSession& session);
  void HoldTimerFired(WPARAM id);
  void KeepAliveReplyArrived(TScreenedSession& session);
  void DecisionNotice(const std::string& text);
  // Which review the window shows (WaitingReviews.cpp).
  void ShowReview(TWaitingReview review, bool announce);
  void ShowNextReview();
  TWaitingReview ShownReview() const;
  std::string CheckingText();

  LRESULT WindowProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam);

  ScreeningState& state_;
  ReviewList& review_;
  TMainWindowControls& controls_;
  IPopupNotifier& popup_;
  ITrayIcon& tray_;
  TDnsblChecker dnsbl_;
  std::string dnsblNotice_;
  TReviewQueue queue_;
  HWND window_ = 0;  // the reply timers
  WPARAM nextSerial_ = 1;
  std::map<WPARAM, TSessionHandle> timedSessions_;
  std::string removalNotice_;
  std::map<WPARAM, TSessionHandle> heldSessions_;
  std::map<WPARAM, TSessionHandle> scanning_;  // the sessions whose scans began
  TOpenReview openReview_;
  std::string decisionNotice_;
  std::map<std::string, TSessionHandle> deliveries_;  // copy name: the session delivering it
};

}  // namespace qb
