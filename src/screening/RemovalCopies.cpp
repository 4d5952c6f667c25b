// The copy before every deletion: a ticked message is retrieved whole (not
// relayed) and stored in removed/ before its DELE is sent, and each answered
// DELE appends its line to removed.log. A message whose copy cannot be
// written is not deleted: its row is unticked and it reaches the client as
// any other. A message larger than the copy limit is deleted without a copy.
#include <cstdio>

#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/Listing.h"
#include "screening/SessionScreening.h"

namespace qb {

namespace {

std::string Dele(std::int64_t number) {
  return "DELE " + std::to_string(number) + "\r\n";
}

}  // namespace

void TSessionScreening::DeleteWithCopy(TScreenedSession& session, std::int64_t number,
                                       TSessionStep deleteStep) {
  TSessionRemovals& copies = session.Copies;
  session.Number = number;
  copies.InsteadOfRetrieval = deleteStep == TSessionStep::ssDeleteInstead;
  copies.CopyName = kNoCopy;
  std::int64_t size = ParseWholeNumber(copies.Facts[number].Size).value_or(0);
  std::int64_t limit = std::min<std::int64_t>(RemovedMail.CopyLimitBytes,
                                              static_cast<std::int64_t>(ReplyLimits.MaxBytes));
  if (size > limit) return SendUpstream(session, Dele(number), deleteStep, false);
  SendUpstream(session, "RETR " + std::to_string(number) + "\r\n", TSessionStep::ssCopy, true);
}

// Only a copy safely on disk lets the DELE go out. A RETR of the client's
// own whose copy fails gives the client the message it asked for.
void TSessionScreening::CopyReplyArrived(TScreenedSession& session) {
  TSessionRemovals& copies = session.Copies;
  std::optional<std::string> message;
  if (session.Framing.Positive()) message = MessageOfRetrReply(session.Reply);
  std::string name = RemovedCopyName(std::chrono::system_clock::now(), session.AccountText,
                                     copies.Facts[session.Number].Uid);
  if (message && StoreRemovedCopy(state_.ProgramFolder + kRemovedFolder, name, *message)) {
    copies.CopyName = name;
    TSessionStep step =
        copies.InsteadOfRetrieval ? TSessionStep::ssDeleteInstead : TSessionStep::ssRemove;
    return SendUpstream(session, Dele(session.Number), step, false);
  }
  KeepMessage(session);
  if (!copies.InsteadOfRetrieval) return NextRemoval(session);
  bool retrieved = session.Framing.Positive();
  if (retrieved) RecordRetrieval(session);
  session.Client.SendString(retrieved ? session.Reply : "-ERR\r\n");
  PostMessageBox(CopyFailureText(session), TMsgDlgType::mtError);
  ClientCommandDone(session);
}

// The message stays on the server and is no longer ticked, so that the
// session neither deletes it later nor turns its RETR into a DELE.
void TSessionScreening::KeepMessage(TScreenedSession& session) {
  ++session.Copies.Kept;
  if (!ListOwner.Is(&session.Client)) return;
  for (std::size_t i = 0; i < review_.Count(); ++i) {
    if (review_[i].Number == session.Number) {
      review_.SetRowChecked(i, false);
    }
  }
  Changed();
}

// A deleted message gets its log line; one the server kept needs no copy.
void TSessionScreening::DeletionAnswered(TScreenedSession& session, bool deleted) {
  TSessionRemovals& copies = session.Copies;
  if (deleted) {
    std::string line = FormatRemovalLogLine(std::chrono::system_clock::now(), session.AccountText,
                                            copies.Facts[session.Number], copies.CopyName);
    LogRemoval(line);
  } else if (!copies.CopyName.empty() && copies.CopyName != kNoCopy) {
    std::remove((state_.ProgramFolder + kRemovedFolder + copies.CopyName).c_str());
  }
  copies.CopyName.clear();
}

void TSessionScreening::LogRemoval(const std::string& line) {
  std::string log = state_.ProgramFolder + kRemovedLogFile;
  if (!AppendRemovalLog(log, line)) PostMessageBox("Cannot write to " + log, TMsgDlgType::mtError);
  if (OnRemovalLogged) OnRemovalLogged(line);
}

std::string TSessionScreening::CopyFailureText(const TScreenedSession& session) const {
  std::size_t kept = session.Copies.Kept;
  return std::to_string(kept) + (kept == 1 ? " checked message of " : " checked messages of ") +
         TrimBlanks(session.AccountText) + " stayed on the server: no copy could be written to " +
         state_.ProgramFolder + kRemovedFolder;
}

}  // namespace qb
