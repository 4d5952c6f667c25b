// The main window's handling of the POP3 sessions: what the mail client's
// commands become upstream (OnClientSend), and what the server's replies
// become for the client (OnServerSend). Replies are relayed, except that a
// bare LIST reply is held back while the new messages' headers are scanned,
// and a RETR of a ticked message is carried out as a DELE on the server.
//
// Every session is screened, one review at a time: while one session's scan
// or review is under way, another session's bare LIST waits its turn. Each
// session carries out its client's commands one at a time, in order, and
// reads every reply from the socket's events, so no session, timer or window
// waits for another session's server. The block-list lookups of a scan run
// on the resolver pool, in parallel; the review opens when the last header
// is in and every lookup has answered.
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
#include "screening/WindowServices.h"

namespace qb {

// The popup and status texts of the screened session.
extern const char* const kConnectingText;
extern const char* const kCheckingText;
extern const char* const kListReadyText;
extern const char* const kListingCanceledText;
extern const char* const kDecideLaterText;

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
struct TReviewLimits {
  std::chrono::milliseconds Hold{45000};
  std::chrono::milliseconds KeepAlive{240000};
  std::chrono::milliseconds MaxHold{540000};
};

// The review shown in the window: the account it belongs to, whose
// decisions file "Remove Checked" writes, also once its session has gone.
struct TOpenReview {
  bool Open = false;
  std::string AccountText;
  std::set<std::string> DuplicateUids;  // of the scan's UIDL listing
  std::vector<std::string> Uids;        // of the messages shown or left for review
};

class TSessionScreening {
 public:
  TSessionScreening(ScreeningState& state, ReviewList& review, TMainWindowControls& controls,
                    IPopupNotifier& popup, ITrayIcon& tray, TResolverPool& resolvers);
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

  // The session whose LIST reply is held back until "Remove Checked".
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
  // The status-bar text: the account under review, how many wait, and what
  // could not be removed.
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
  void CarryOut(TScreenedSession& session, const std::string& line);
  void StartScan(TScreenedSession& session);
  void Retrieve(TScreenedSession& session, const TPop3Command& command, const std::string& line);
  const MessageRow* FindOwnRow(const TMailGWClient& client, std::int64_t number) const;
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
  void AddRow(std::int64_t number, const TextLines& headerLines);
  void HeadersDone(TScreenedSession& session);
  void ScanComplete(TScreenedSession& session);
  void CancelScan(TScreenedSession& session);

  // The block-list lookups of the scan (RelayChecks.cpp).
  void CheckRelays(std::size_t flagIndex, const TextLines& headerLines);
  void RelayChecked(TCheckId id, std::size_t flagIndex, const std::string& listedAddress);
  bool WaitsForRelayChecks(const TScreenedSession& session) const;
  void CancelRelayChecks();
  void BlockListNotice(const std::string& text);

  // The review and its end (RemoveChecked.cpp).
  void NextRemoval(TScreenedSession& session);
  void RemovalReplyArrived(TScreenedSession& session);
  void EndReview(TScreenedSession& session);
  void ReleaseReview(TScreenedSession& session);
  void ShowStatus();
  void Changed();

  // The copy before each deletion and the log line after it (RemovalCopies.cpp).
  void DeleteWithCopy(TScreenedSession& session, std::int64_t number, TSessionStep deleteStep);
  void CopyReplyArrived(TScreenedSession& session);
  void KeepMessage(TScreenedSession& session);
  void DeletionAnswered(TScreenedSession& session, bool deleted);
  std::string CopyFailureText(const TScreenedSession& session) const;
  void LogRemoval(const std::string& line);
  // Copies delivered again (DeliverAgain.cpp).
  void StartDeliveries(TScreenedSession& session);
  bool AnswerRestored(TScreenedSession& session, const TPop3Command& command);
  void RenumberedReplyArrived(TScreenedSession& session);
  void EndDeliveries(TScreenedSession& session);
  // Decisions and the bounded hold (ReviewHold.cpp).
  void PlanReview(TScreenedSession& session, std::optional<std::int64_t> marked);
  void CarryOutDecisions(TScreenedSession& session);
  void OpenReviewOf(TScreenedSession& session);
  bool RecordDecisions();
  void RemoveCheckedLater();
  void AnswerWithoutReview(TScreenedSession& session, bool carryOutDecided);
  void KeepReviewOpen(TScreenedSession& session);
  void StartHoldTimer(TScreenedSession& session);
  void StopHoldTimer(TScreenedSession& session);
  void HoldTimerFired(WPARAM id);
  void KeepAliveReplyArrived(TScreenedSession& session);
  void DecisionNotice(const std::string& text);

  LRESULT WindowProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam);

  ScreeningState& state_;
  ReviewList& review_;
  TMainWindowControls& controls_;
  IPopupNotifier& popup_;
  ITrayIcon& tray_;
  TDnsblChecker dnsbl_;
  std::set<TCheckId> relayChecks_;  // the scan's lookups that have not answered
  bool headersDone_ = false;        // the scan waits only for relayChecks_
  std::string dnsblNotice_;
  TReviewQueue queue_;
  HWND window_ = 0;  // the reply timers
  WPARAM nextSerial_ = 1;
  std::map<WPARAM, TSessionHandle> timedSessions_;
  std::string removalNotice_;
  std::map<WPARAM, TSessionHandle> heldSessions_;
  TOpenReview openReview_;
  std::string decisionNotice_;
  std::map<std::string, TSessionHandle> deliveries_;  // copy name: the session delivering it
};

}  // namespace qb
