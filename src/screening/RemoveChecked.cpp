// The end of a review: "Remove Checked" deletes the ticked messages of the
// session under review on its server, their copies first (RemovalCopies.cpp),
// then one DELE after the other, and then
// releases the held LIST reply without the lines of the deleted messages (a
// message marked as deleted is not listed; the numbers keep their gaps).
// The client never asks for a removed message, and its QUIT commits the
// deletions. The window then shows the next review that waits.
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
  if (client == nullptr || client->State() != wsConnected) return RemoveCheckedLater();
  TScreenedSession& session = SessionFor(*client);
  if (session.Step == TSessionStep::ssKeepAlive) session.RemovePressed = true;
  if (session.InFlight || !session.ClientWaiting) return;
  if (openReview_.Open && !RecordDecisions()) return AnswerWithoutReview(session, false);
  openReview_.Open = false;
  std::set<std::int64_t> removals = session.DecidedRemovals;
  if (ListOwner.Is(client)) {
    for (const MessageRow& row : review_.Rows()) {
      if (!row.Checked) continue;
      removals.insert(row.Number);
      session.Copies.Facts[row.Number] = RemovalFactsOf(row);
    }
  }
  StartRemovals(session, removals);
}

void TSessionScreening::NextRemoval(TScreenedSession& session) {
  TAsyncSocket* server = session.Client.ServerSocket;
  if (session.Removals.empty() || server == nullptr || server->State() != wsConnected) {
    return EndReview(session);
  }
  session.Number = session.Removals.front();
  session.Removals.pop_front();
  SendUpstream(session, "DELE " + std::to_string(session.Number) + kCrLf, TSessionStep::ssRemove,
               false);
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
  SetStep(session, TSessionStep::ssIdle);
  session.ClientWaiting = false;
  if (session.Command.IsBare("LIST")) {
    std::string held;
    for (const std::string& line : session.HeldList) held += line + kCrLf;
    session.Client.SendString(ListingToClient(session, held, false));
  } else {
    session.WaitingLines.push_front({session.ClientLine, session.Command});
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

// The session waits for no review any more: a review of its that is
// shown or waits stays for the user to decide, and once the review shown
// has been decided, the next one that waits is shown.
void TSessionScreening::ReleaseReview(TScreenedSession& session) {
  CancelRelayChecks(session);
  KeepReviewOpen(session);
  ShowNextReview();
  ShowStatus();
}

void TSessionScreening::ShowStatus() {
  std::string notices = removalNotice_;
  if (!dnsblNotice_.empty()) notices += (notices.empty() ? "" : " ") + dnsblNotice_;
  std::string text;
  if (openReview_.Open) text = "Reviewing " + TrimBlanks(openReview_.AccountText);
  std::vector<std::string> waiting = WaitingAccounts();
  for (std::size_t k = 0; k < waiting.size(); ++k) {
    text += (k == 0 ? (text.empty() ? "Waiting: " : "; waiting: ") : ", ") + waiting[k];
  }
  std::string checking = CheckingText();
  if (!checking.empty()) text += (text.empty() ? "Checking " : "; checking ") + checking;
  if (!notices.empty()) text = text.empty() ? notices : notices + " " + text;
  if (!decisionNotice_.empty())
    text = text.empty() ? decisionNotice_ : text + "; " + decisionNotice_;
  if (OnStatus) OnStatus(text);
}

}  // namespace qb
