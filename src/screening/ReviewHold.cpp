// A review that outlasts the mail client's patience. The scan shows only
// messages nobody has decided yet; decisions recorded by UID at an earlier
// review are carried out before the listing is released ("remove": deleted
// and left out, "keep": listed). A command held for the review is answered
// after the hold limit without the messages still under review, which stay
// on the server; the review stays open in the window, and "Remove Checked"
// then records the decisions for the account's next check. While a command
// waits, the server session hears a NOOP every few minutes. When the
// session ends during the review (the client gave up, the server closed),
// the review stays open the same way: the decisions carry over to the next
// session, which opens a server session of its own. So does a review that
// waits behind the one shown. A scan that outlasts the hold is cut short.
#include "platform/Dialogs.h"
#include "screening/Decisions.h"
#include "screening/Listing.h"
#include "screening/SessionScreening.h"

namespace qb {

const char* const kDecideLaterText =
    "The mail client could not wait for the review: the messages under review stay on the "
    "server. Your decision will take effect at the next check.";

const char* const kDecideLaterStatus =
    "the mail client could not wait: the decision will take effect at the next check.";

namespace {

using Clock = TScreenedSession::Clock;

// The hold timers share the screening's window with the reply timers,
// which are named by the session's serial alone.
constexpr WPARAM kHoldTimerBit = WPARAM{1} << (sizeof(WPARAM) * 8 - 1);

std::string DecisionsPath(const ScreeningState& state, const std::string& accountText) {
  return DecisionsFile(state.ProgramFolder, MakeUidFileStem(accountText));
}

std::vector<std::string> UidsOf(const std::set<std::int64_t>& numbers,
                                const TextLines& uidlListing) {
  std::map<std::int64_t, std::string> uids = UidsByNumber(uidlListing);
  std::vector<std::string> found;
  for (std::int64_t number : numbers) {
    if (auto uid = uids.find(number); uid != uids.end()) found.push_back(uid->second);
  }
  return found;
}

// The messages left for review are marked as such, so that the next check
// shows them again even when the client has retrieved later ones meanwhile.
bool RecordLeftForReview(const std::string& path, const std::vector<std::string>& uids,
                         const std::set<std::string>& duplicates) {
  std::optional<TDecisions> decisions = ReadDecisions(path);
  if (!decisions) return false;
  for (const std::string& uid : uids) {
    if (!decisions->contains(uid)) RecordDecision(*decisions, uid, TDecision::dReview, duplicates);
  }
  return WriteDecisions(path, *decisions);
}

}  // namespace

// The scan shows the messages after the marker and those left for review
// before, but none that has a decision. A decisions file that cannot be
// read gives no decisions: nothing is deleted, everything new is reviewed.
void TSessionScreening::PlanReview(TScreenedSession& session, std::optional<std::int64_t> marked) {
  const TextLines& listing = session.Scan.ListReply;
  std::string path = DecisionsPath(state_, session.AccountText);
  std::optional<TDecisions> decisions = ReadDecisions(path);
  TDecisions unknown;
  std::map<std::int64_t, std::string> uids = UidsByNumber(session.Scan.UidlReply);
  bool complete = true;
  for (std::size_t k = 1; k + 1 < listing.size(); ++k) {
    std::optional<std::int64_t> number = ListingNumber(listing[k]);
    complete = complete && (!number || uids.contains(*number));
  }
  TMailboxDecisions matched =
      MatchDecisions(decisions ? *decisions : unknown, session.Scan.UidlReply, complete);
  if (decisions && matched.Dropped && !WriteDecisions(path, *decisions)) {
    DecisionNotice("Cannot create file " + path);
  }
  session.ToReview.clear();
  session.LeftOut.clear();
  session.DecidedRemovals = matched.Remove;
  session.Copies = TSessionRemovals{};
  for (std::size_t k = 1; k + 1 < listing.size(); ++k) {
    std::optional<std::int64_t> number = ListingNumber(listing[k]);
    if (number && matched.Remove.contains(*number)) {
      // What the removal log can say of a message decided at an earlier review.
      TRemovalFacts& facts = session.Copies.Facts[*number];
      facts.Uid = uids[*number];
      facts.Size = AfterFirstBlank(listing[k]);
      facts.Category = MessageCategory::mcPending;
      facts.Rule = "decided at an earlier review";
    }
    if (!number || matched.Remove.contains(*number) || matched.Keep.contains(*number)) continue;
    if (!marked || *number > *marked || matched.Review.contains(*number)) {
      session.ToReview.insert(*number);
    }
  }
}

// Without a review to wait for (nothing undecided, or the hold limit passed
// before the scan could begin) the decided removals are carried out and
// the waiting command is answered; what was to be reviewed is left out and
// waits on the server for the next check.
void TSessionScreening::CarryOutDecisions(TScreenedSession& session) {
  if (session.HoldExpired) LeaveOutForReview(session);
  StartRemovals(session, session.DecidedRemovals);
}

// Messages are left out of the client's listing only while the decisions
// file keeps them for the next check: when it cannot be written, the client
// sees exactly what the server has.
void TSessionScreening::LeaveOutForReview(TScreenedSession& session) {
  session.LeftOut.clear();
  if (session.ToReview.empty()) return;
  std::string path = DecisionsPath(state_, session.AccountText);
  if (!RecordLeftForReview(path, UidsOf(session.ToReview, session.Scan.UidlReply),
                           DuplicateUids(session.Scan.UidlReply))) {
    return DecisionNotice("Cannot create file " + path);
  }
  session.LeftOut = session.ToReview;
}

// The scan's rows make a review: it belongs to the account from now on,
// whatever becomes of the session. It is shown now, or waits while another
// account's review is shown; a newer review of the account shown, whose
// client was answered already, takes that one's place with its ticks.
void TSessionScreening::ReviewReady(TScreenedSession& session) {
  TMailboxScan& scan = session.Scan;
  TWaitingReview ready{.Review = {.Open = true,
                                  .AccountText = session.AccountText,
                                  .DuplicateUids = DuplicateUids(scan.UidlReply),
                                  .Uids = UidsOf(session.ToReview, scan.UidlReply)},
                       .Rows = std::move(scan.Rows.Rows()),
                       .SortColumn = scan.Rows.SortColumn,
                       .SortDescending = scan.Rows.SortDescending,
                       .Session = TSessionHandle(&session.Client)};
  scan.Rows.Clear();
  bool replaces =
      openReview_.Open && ReviewClient.Get() == nullptr && SameAccount(openReview_, ready.Review);
  if (replaces) KeepTicks(review_.Rows(), ready.Rows);
  if (openReview_.Open && !replaces) {
    queue_.Add(std::move(ready));
    ShowStatus();
  } else {
    ShowReview(std::move(ready), true);
  }
  if (session.HoldExpired) AnswerWithoutReview(session, true);
}

// Whether the session's client waits for a review that is ready: the one
// shown or one in line.
bool TSessionScreening::WaitsForReview(const TScreenedSession& session) {
  return (openReview_.Open && ReviewClient.Is(&session.Client)) || queue_.Of(session.Client);
}

// The decisions of the shown rows: ticked "remove", the others "keep".
// False when the file cannot be read or written; nothing is recorded then,
// and the user is told that everything stays on the server.
bool TSessionScreening::RecordDecisions() {
  std::string path = DecisionsPath(state_, openReview_.AccountText);
  std::optional<TDecisions> decisions = ReadDecisions(path);
  if (decisions) {
    for (const MessageRow& row : review_.Rows()) {
      RecordDecision(*decisions, row.Uid, row.Checked ? TDecision::dRemove : TDecision::dKeep,
                     openReview_.DuplicateUids);
    }
    if (WriteDecisions(path, *decisions)) return true;
  }
  std::string failure = (decisions ? "Cannot create file " : "Cannot open file ") + path;
  PostMessageBox(failure + "\nNothing was removed: the messages stay on the server.",
                 TMsgDlgType::mtError);
  DecisionNotice(failure + "; nothing was removed.");
  controls_.Button1Enabled = true;
  return false;
}

// The review's session has gone or was answered already: the decisions are
// recorded and carried out at the account's next check.
void TSessionScreening::RemoveCheckedLater() {
  if (!openReview_.Open || !RecordDecisions()) return;
  openReview_.Open = false;
  review_.Clear();
  std::string notice = "The decisions for " + TrimBlanks(openReview_.AccountText) +
                       " will take effect at the next check.";
  ShowNextReview();
  DecisionNotice(notice);
}

// The command that waits for the review is answered without the messages
// under review; the decisions made before are carried out first, unless
// the decisions could not be recorded: then everything stays, and the
// client is listed everything the server has.
void TSessionScreening::AnswerWithoutReview(TScreenedSession& session, bool carryOutDecided) {
  session.HoldExpired = true;
  KeepReviewOpen(session);
  session.Removals.clear();
  session.LeftOut.clear();
  if (!carryOutDecided) return NextRemoval(session);
  LeaveOutForReview(session);
  StartRemovals(session, session.DecidedRemovals);
}

// The review outlasts its session: its rows stay in the window or in line,
// and the messages wait on the server, left out of what the client is
// listed.
void TSessionScreening::KeepReviewOpen(TScreenedSession& session) {
  StopHoldTimer(session);
  const TOpenReview* review = nullptr;
  bool shown = openReview_.Open && ReviewClient.Is(&session.Client);
  if (shown) {
    ReviewClient.Reset();
    ListOwner.Reset();
    review = &openReview_;
  } else if (TWaitingReview* waiting = queue_.Of(session.Client)) {
    waiting->Session.Reset();
    review = &waiting->Review;
  }
  if (review == nullptr) return;
  std::string path = DecisionsPath(state_, review->AccountText);
  if (!RecordLeftForReview(path, review->Uids, review->DuplicateUids)) {
    DecisionNotice("Cannot create file " + path);
  }
  TPopupProperties& popup = popup_.Properties();
  popup.Title = "Quillbright";
  popup.Text = kDecideLaterText;
  popup_.ShowPopup();
  if (!shown) return;
  controls_.Button1Enabled = !review_.Empty();
  if (decisionNotice_.empty()) {
    DecisionNotice(kDecideLaterStatus);
  }
}

std::optional<std::chrono::steady_clock::time_point> TSessionScreening::ReviewAnswerDue() const {
  TMailGWClient* client = ReviewClient.Get();
  const TScreenedSession* session = client ? ScreenedSessionOf(*client) : nullptr;
  if (!session || !session->HoldTimed || session->HoldExpired) return std::nullopt;
  return session->HoldStarted + std::min(ReviewLimits.Hold, ReviewLimits.MaxHold);
}

void TSessionScreening::StartHoldTimer(TScreenedSession& session) {
  if (session.HoldTimed) return;
  session.HoldTimed = true;
  session.HoldStarted = session.LastKeepAlive = Clock::now();
  WPARAM id = session.Serial | kHoldTimerBit;
  heldSessions_[id] = TSessionHandle(&session.Client);
  auto hold = std::min(ReviewLimits.Hold, ReviewLimits.MaxHold);
  MessageLoop::Instance().SetTimer(window_, id, std::min(hold, ReviewLimits.KeepAlive));
}

void TSessionScreening::StopHoldTimer(TScreenedSession& session) {
  if (heldSessions_.erase(session.Serial | kHoldTimerBit) > 0) {
    MessageLoop::Instance().KillTimer(window_, session.Serial | kHoldTimerBit);
  }
}

// At the hold limit the waiting command is answered as soon as nothing is
// in flight, whether its review is shown or waits in line; a scan still
// reading a reply a little later is given up. Between, an idle server
// hears a NOOP.
void TSessionScreening::HoldTimerFired(WPARAM id) {
  auto held = heldSessions_.find(id);
  TMailGWClient* client = held == heldSessions_.end() ? nullptr : held->second.Get();
  TScreenedSession* session = client ? ScreenedSessionOf(*client) : nullptr;
  if (session == nullptr) {
    heldSessions_.erase(id);
    MessageLoop::Instance().KillTimer(window_, id);
    return;
  }
  Clock::time_point now = Clock::now();
  Clock::time_point holdUntil =
      session->HoldStarted + std::min(ReviewLimits.Hold, ReviewLimits.MaxHold);
  Clock::time_point scanUntil = holdUntil + ReviewLimits.ScanAfterHold;
  if (now >= scanUntil && Scanning(*session)) {
    CancelScan(*session, "-ERR The mail server answers too slowly; try again later");
    return Changed();
  }
  bool idle = !session->InFlight && session->Step == TSessionStep::ssIdle;
  if (now >= holdUntil && !session->HoldExpired) {
    session->HoldExpired = true;
    if (idle && WaitsForReview(*session)) {
      AnswerWithoutReview(*session, true);
      return Changed();
    }
  }
  if (now >= session->LastKeepAlive + ReviewLimits.KeepAlive) {
    session->LastKeepAlive = now;
    if (!session->InFlight && session->ClientWaiting && !session->Scanned) {
      SetStep(*session, TSessionStep::ssIdle);
      SendUpstream(*session, "NOOP\r\n", TSessionStep::ssKeepAlive, false);
    }
  }
  Clock::time_point next = session->LastKeepAlive + ReviewLimits.KeepAlive;
  if (!session->HoldExpired) next = std::min(next, holdUntil);
  if (Scanning(*session)) next = std::min(next, scanUntil);
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
  MessageLoop::Instance().SetTimer(window_, id, std::max(wait, std::chrono::milliseconds(1)));
}

// Whatever came while the NOOP was in flight is done now.
void TSessionScreening::KeepAliveReplyArrived(TScreenedSession& session) {
  SetStep(session, TSessionStep::ssIdle);
  if (std::exchange(session.RemovePressed, false)) return RemoveChecked();
  if (session.HoldExpired && WaitsForReview(session)) AnswerWithoutReview(session, true);
}

void TSessionScreening::DecisionNotice(const std::string& text) {
  decisionNotice_ = text;
  ShowStatus();
}

}  // namespace qb
