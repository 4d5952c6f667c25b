// Removed mail delivered again: once a session's review has ended, the
// copies marked for delivery of its account are added after the server's
// messages (RestoredMail.h). Only one session at a time delivers a copy,
// so two clients of one account never both get it. The client's QUIT ends
// the delivery of every copy it retrieved or deleted: the copy goes back to
// removed/ and removed.log says so.
#include <chrono>

#include "platform/Dialogs.h"
#include "screening/Listing.h"
#include "screening/RemovedMail.h"
#include "screening/SessionScreening.h"

namespace qb {

void TSessionScreening::StartDeliveries(TScreenedSession& session) {
  std::erase_if(deliveries_, [](const auto& entry) { return entry.second.Get() == nullptr; });
  std::vector<TRestoredCopy> copies;
  for (TRestoredCopy& copy : MarkedCopiesOf(state_.ProgramFolder, session.AccountText)) {
    auto [delivering, added] = deliveries_.try_emplace(copy.Name, &session.Client);
    if (!added && !delivering->second.Is(&session.Client)) continue;
    copies.push_back(std::move(copy));
  }
  session.Restored.Start(std::move(copies), session.Numbering.LastVisibleNumber() + 1);
}

// A command that names a restored message is answered here; nothing of it
// goes to the server, which has no such message.
bool TSessionScreening::AnswerRestored(TScreenedSession& session, const TPop3Command& command) {
  std::optional<std::string> reply =
      session.Restored.Answer(command, state_.ProgramFolder + kDeliverFolder);
  if (!reply) return false;
  AnswerHere(session, *reply);
  return true;
}

// The server's STAT, LIST or UIDL reply in the client's numbers, with the
// restored messages after the server's.
void TSessionScreening::RenumberedReplyArrived(TScreenedSession& session) {
  const TPop3Command& command = session.Command;
  bool listing = command.Argument.empty();
  std::string reply;
  if (command.Is("STAT")) {
    reply = session.Restored.WithStat(session.Numbering.StatToClient(session.Reply));
  } else if (listing) {
    reply = ListingToClient(session, session.Reply, command.Is("UIDL"));
  } else {
    reply = session.Numbering.ReplyToClient(session.Reply, false);
  }
  session.Client.SendString(reply);
  ClientCommandDone(session);
}

// Once messages were removed or restored, a LIST's status line counts
// what the client is listed, not what the server has.
std::string TSessionScreening::ListingToClient(const TScreenedSession& session,
                                               const std::string& listing, bool uidl) const {
  std::string reply =
      session.Restored.WithListing(session.Numbering.ReplyToClient(listing, true), uidl);
  bool changed = session.Numbering.Active() || session.Restored.Any();
  return changed && !uidl ? WithCountedStatus(reply) : reply;
}

// A copy that cannot be moved back stays marked: it is delivered again at
// the next session rather than lost.
void TSessionScreening::EndDeliveries(TScreenedSession& session) {
  for (const TRestoredCopy& copy : session.Restored.Ended()) {
    deliveries_.erase(copy.Name);
    if (!ReturnDeliveredCopy(state_.ProgramFolder, copy.Name)) {
      PostMessageBox("Cannot move " + copy.Name + " from " + state_.ProgramFolder + kDeliverFolder +
                         " back to " + kRemovedFolder,
                     TMsgDlgType::mtError);
      continue;
    }
    TRemovalFacts facts{
        copy.Uid,    std::to_string(copy.Size), MessageCategory::mcUseful, "", copy.From,
        copy.Subject};
    LogRemoval(FormatDeliveryLogLine(std::chrono::system_clock::now(), session.AccountText, facts,
                                     copy.Name, copy.Retrieved));
  }
  session.Restored.Start({}, 1);
}

}  // namespace qb
