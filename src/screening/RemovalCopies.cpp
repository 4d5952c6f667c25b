// The copies before the deletions: every ticked message of a review is
// retrieved whole (not relayed) and written into removed/, one after the
// other; then the copies are synced together, and only then do the DELEs
// go out, so no DELE is ever sent for a message whose copy is not on disk.
// Each answered DELE appends its line to removed.log. A message whose copy
// cannot be written is not deleted: its row is unticked and it reaches the
// client as any other. A message larger than the copy limit is deleted
// without a copy.
#include <algorithm>
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

std::string Retr(std::int64_t number) {
  return "RETR " + std::to_string(number) + "\r\n";
}

}  // namespace

bool TSessionScreening::NeedsCopy(const TScreenedSession& session, std::int64_t number) const {
  auto facts = session.Copies.Facts.find(number);
  std::string size = facts == session.Copies.Facts.end() ? "" : facts->second.Size;
  std::int64_t limit = std::min<std::int64_t>(RemovedMail.CopyLimitBytes,
                                              static_cast<std::int64_t>(ReplyLimits.MaxBytes));
  return ParseWholeNumber(size).value_or(0) <= limit;
}

// The removals of a review: the copies first, then the DELEs.
void TSessionScreening::StartRemovals(TScreenedSession& session,
                                      const std::set<std::int64_t>& numbers) {
  TSessionRemovals& copies = session.Copies;
  session.Removals.assign(numbers.begin(), numbers.end());
  copies.ToCopy.clear();
  copies.InsteadOfRetrieval = false;
  for (std::int64_t number : numbers) {
    if (NeedsCopy(session, number)) copies.ToCopy.push_back(number);
  }
  NextCopy(session);
}

void TSessionScreening::NextCopy(TScreenedSession& session) {
  TSessionRemovals& copies = session.Copies;
  TAsyncSocket* server = session.Client.ServerSocket;
  if (server == nullptr || server->State() != wsConnected) {
    copies.ToCopy.clear();
    copies.Batch = TCopyBatch{};  // nothing is deleted: the copies go
    copies.CopyNames.clear();
    return NextRemoval(session);
  }
  if (copies.ToCopy.empty()) {
    CommitCopies(session);
    return NextRemoval(session);
  }
  session.Number = copies.ToCopy.front();
  copies.ToCopy.pop_front();
  SendUpstream(session, Retr(session.Number), TSessionStep::ssCopy, true);
}

// A RETR of a ticked message becomes its DELE, after its copy.
void TSessionScreening::DeleteInstead(TScreenedSession& session, std::int64_t number) {
  session.Number = number;
  session.Copies.InsteadOfRetrieval = true;
  if (!NeedsCopy(session, number)) {
    return SendUpstream(session, Dele(number), TSessionStep::ssDeleteInstead, false);
  }
  SendUpstream(session, Retr(number), TSessionStep::ssCopy, true);
}

void TSessionScreening::CopyReplyArrived(TScreenedSession& session) {
  TSessionRemovals& copies = session.Copies;
  std::optional<std::string> message;
  if (session.Framing.Positive()) message = MessageOfRetrReply(session.Reply);
  std::string name = RemovedCopyName(std::chrono::system_clock::now(), session.AccountText,
                                     copies.Facts[session.Number].Uid);
  std::optional<std::string> written;
  if (message) written = copies.Batch.Write(state_.ProgramFolder + kRemovedFolder, name, *message);
  if (written) {
    copies.CopyNames[session.Number] = *written;
  } else {
    KeepMessage(session, session.Number);
  }
  if (!copies.InsteadOfRetrieval) return NextCopy(session);
  if (written && CommitCopies(session)) {
    return SendUpstream(session, Dele(session.Number), TSessionStep::ssDeleteInstead, false);
  }
  // Only a copy safely on disk lets the DELE go out: the client gets the
  // message it asked for.
  bool retrieved = session.Framing.Positive();
  if (retrieved) RecordRetrieval(session);
  session.Client.SendString(retrieved ? session.Reply : "-ERR\r\n");
  PostMessageBox(CopyFailureText(session), TMsgDlgType::mtError);
  ClientCommandDone(session);
}

// The copies written so far reach the disk together; a message whose copy
// did not is kept. True when every one did.
bool TSessionScreening::CommitCopies(TScreenedSession& session) {
  TSessionRemovals& copies = session.Copies;
  std::vector<std::string> failed = copies.Batch.Commit();
  for (const std::string& name : failed) {
    auto copy = std::find_if(copies.CopyNames.begin(), copies.CopyNames.end(),
                             [&](const auto& entry) { return entry.second == name; });
    if (copy == copies.CopyNames.end()) continue;
    std::int64_t number = copy->first;
    copies.CopyNames.erase(copy);
    KeepMessage(session, number);
  }
  return failed.empty();
}

// The message stays on the server and is no longer ticked, so that the
// session neither deletes it later nor turns its RETR into a DELE.
void TSessionScreening::KeepMessage(TScreenedSession& session, std::int64_t number) {
  ++session.Copies.Kept;
  std::erase(session.Removals, number);
  if (!ListOwner.Is(&session.Client)) return;
  for (std::size_t i = 0; i < review_.Count(); ++i) {
    if (review_[i].Number == number) review_.SetRowChecked(i, false);
  }
  Changed();
}

// A deleted message gets its log line; one the server kept needs no copy.
void TSessionScreening::DeletionAnswered(TScreenedSession& session, bool deleted) {
  TSessionRemovals& copies = session.Copies;
  std::string copyName = copies.CopyNameOf(session.Number);
  if (deleted) {
    std::string line = FormatRemovalLogLine(std::chrono::system_clock::now(), session.AccountText,
                                            copies.Facts[session.Number], copyName);
    LogRemoval(line);
  } else if (copyName != kNoCopy) {
    std::remove((state_.ProgramFolder + kRemovedFolder + copyName).c_str());
  }
  copies.CopyNames.erase(session.Number);
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
