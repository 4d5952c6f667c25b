// The end of a review: "Remove Checked" deletes the ticked messages of the
// session under review on its server, one DELE after the other, and then
// releases the held LIST reply without the lines of the deleted messages (a
// message marked as deleted is not listed; the numbers keep their gaps).
// The client never asks for a removed message, and its QUIT commits the
// deletions. The review then passes to the next waiting session.
#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/Listing.h"
#include "screening/Pop3Command.h"
#include "screening/SessionScreening.h"

namespace qb {

namespace {

const std::string kCrLf = "\r\n";

// What the status bar says after the deletions: how many, from which
// account, and where the copies are.
std::string RemovedText(const TScreenedSession& session) {
  std::size_t removed = session.Removed.size();
  return "Removed " + std::to_string(removed) + (removed == 1 ? " message" : " messages") +
         " from " + TrimBlanks(session.AccountText) + "; copies are kept in \"Removed mail\".";
}

}  // namespace

void TSessionScreening::RemoveChecked() {
  TMailGWClient* client = ReviewClient.Get();
  if (client == nullptr || client->State() != wsConnected || !queue_.Holds(*client)) {
    return RemoveCheckedLater();
  }
  TScreenedSession& session = SessionFor(*client);
  if (session.Step == TSessionStep::ssKeepAlive) session.RemovePressed = true;
  if (session.InFlight || !session.ClientWaiting) return;
  if (openReview_.Open && !RecordDecisions()) return AnswerWithoutReview(session, false);
  openReview_.Open = false;
  std::set<std::int64_t> removals = session.DecidedRemovals;
  if (ListOwner.Is(client)) {
    for (const MessageRow& row : review_.Rows()) {
      std::optional<std::int64_t> number = MessageNumberOf(row.MessageNumber);
      if (!row.Checked || !number) continue;
      removals.insert(*number);
      session.Copies.Facts[*number] = RemovalFactsOf(row);
    }
  }
  session.Removals.assign(removals.begin(), removals.end());
  NextRemoval(session);
}

void TSessionScreening::NextRemoval(TScreenedSession& session) {
  TAsyncSocket* server = session.Client.ServerSocket;
  if (session.Removals.empty() || server == nullptr || server->State() != wsConnected) {
    return EndReview(session);
  }
  std::int64_t number = session.Removals.front();
  session.Removals.pop_front();
  DeleteWithCopy(session, number, TSessionStep::ssRemove);
}

// A DELE the server refuses leaves that message listed: it stays on the
// server and is downloaded.
void TSessionScreening::RemovalReplyArrived(TScreenedSession& session) {
  DeletionAnswered(session, session.Framing.Positive());
  if (session.Framing.Positive()) {
    session.Removed.insert(session.Number);
  } else {
    ++session.RemovalsRefused;
  }
  NextRemoval(session);
  Changed();
}

// The command that waited for the review is answered now: a LIST with the
// held reply, anything else (STAT, UIDL) by the server, and from now on the
// client sees the remaining messages numbered 1 to m.
void TSessionScreening::EndReview(TScreenedSession& session) {
  session.Scanned = true;
  session.Numbering = TRenumbering(session.HeldList, session.Removed, session.LeftOut);
  StartDeliveries(session);
  session.Step = TSessionStep::ssIdle;
  session.ClientWaiting = false;
  session.Client.LastCommand = "-";
  if (ParseCommand(session.ClientLine).IsBare("LIST")) {
    std::string held;
    for (const std::string& line : session.HeldList) held += line + kCrLf;
    session.Client.SendString(
        session.Restored.WithListing(session.Numbering.ReplyToClient(held, true), false));
  } else {
    session.WaitingLines.push_front(session.ClientLine);
  }
  removalNotice_.clear();
  if (!session.Removed.empty()) removalNotice_ = RemovedText(session);
  if (session.RemovalsRefused > 0) {
    removalNotice_ += (removalNotice_.empty() ? "" : " ") +
                      std::to_string(session.RemovalsRefused) + " of the checked messages of " +
                      TrimBlanks(session.AccountText) +
                      " could not be removed; they stay on the server and are downloaded.";
  }
  if (session.Copies.Kept > 0) {
    removalNotice_ += (removalNotice_.empty() ? "" : " ") + CopyFailureText(session);
    PostMessageBox(CopyFailureText(session), TMsgDlgType::mtError);
  }
  ReleaseReview(session);
  DispatchWaiting(session);
}

// The review passes to the next waiting session: its scan starts as soon
// as the review before it has ended.
void TSessionScreening::ReleaseReview(TScreenedSession& session) {
  if (ListOwner.Is(&session.Client)) CancelRelayChecks();
  KeepReviewOpen(session);
  TMailGWClient* next = queue_.Release(session.Client);
  if (next != nullptr) return StartScan(SessionFor(*next));
  ShowStatus();
}

void TSessionScreening::ShowStatus() {
  std::string notices = removalNotice_;
  if (!dnsblNotice_.empty()) notices += (notices.empty() ? "" : " ") + dnsblNotice_;
  std::string text = notices;
  if (TMailGWClient* holder = queue_.Holder()) {
    TScreenedSession& session = SessionFor(*holder);
    std::string account = TrimBlanks(session.AccountText);
    text = (ReviewClient.Is(holder) ? "Reviewing " : "Checking ") + account;
    if (std::size_t waiting = queue_.Waiting()) {
      text += "; " + std::to_string(waiting) + (waiting == 1 ? " account waits" : " accounts wait");
    }
    if (!notices.empty()) text = notices + " " + text;
  }
  if (!decisionNotice_.empty())
    text = text.empty() ? decisionNotice_ : text + "; " + decisionNotice_;
  if (OnStatus) OnStatus(text);
}

}  // namespace qb
