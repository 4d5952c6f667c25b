// The server's replies (the gateway's OnServerSend and the end of the server
// connection): each piece is taken as part of the reply to the command in
// flight. Relayed replies go to the client as they arrive; a reply whose
// status decides something is held until its status line is whole; the
// greeting and the scan's replies are read whole, bounded in time and size.
#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/Pop3Command.h"
#include "screening/SessionScreening.h"

namespace qb {

namespace {

const std::string kCrLf = "\r\n";

std::chrono::milliseconds Until(TScreenedSession::Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                    TScreenedSession::Clock::now());
  return std::max(left, std::chrono::milliseconds(1));
}

}  // namespace

void TSessionScreening::MailGateway1ServerSend(TMailGateway*, TAsyncSocket* server,
                                               std::string& data, TClientState) {
  TScreenedSession& session = SessionFor(*static_cast<TMailGWClient*>(server->Owner));
  // Bytes that answer no command of the session are no reply: a server
  // that sends them must not shift the replies the client gets.
  if (!session.InFlight) return;
  std::string_view piece(data);
  piece = piece.substr(0, session.Framing.Take(piece));
  session.LastPiece = TScreenedSession::Clock::now();
  if (StepReadsWholeReply(session.Step)) {
    // A TOP's reply is read to its end, but only its first bytes are kept.
    if (session.Step == TSessionStep::ssHeader) {
      KeepReplyPiece(session.Reply, piece, std::min(kScanKeptBytes, ReplyLimits.MaxBytes));
    } else {
      session.Reply.append(piece);
    }
    if (session.Reply.size() > ReplyLimits.MaxBytes || session.Framing.StatusTooLong()) {
      return ReplyFailed(session);
    }
    if (session.Framing.Complete()) WholeReplyArrived(session);
    return;
  }
  if (session.Step == TSessionStep::ssRelay) {
    RelayPiece(session, piece);
  } else {
    DecidingPiece(session, piece);
  }
  if (session.Framing.Complete()) ClientCommandDone(session);
}

void TSessionScreening::RelayPiece(TScreenedSession& session, std::string_view piece) {
  if (piece.empty()) return;
  session.Client.Send(piece.data(), static_cast<int>(piece.size()));
  session.RepliedInPart = true;
}

// A RETR's "+OK" records the retrieval, so its status line is read whole
// first; the body then follows as it arrives. The reply to a DELE that
// stands in for a RETR is not relayed: the client gets "-ERR".
void TSessionScreening::DecidingPiece(TScreenedSession& session, std::string_view piece) {
  if (session.Step == TSessionStep::ssDeleteInstead) {
    if (!session.Framing.Complete()) return;
    DeletionAnswered(session, session.Framing.Positive());
    session.Client.SendString("-ERR" + kCrLf);
    return;
  }
  if (session.RepliedInPart) return RelayPiece(session, piece);
  session.Reply.append(piece);
  if (!session.Framing.StatusComplete()) return;
  if (session.Framing.Positive()) RecordRetrieval(session);
  std::string held = std::move(session.Reply);
  session.Reply.clear();
  RelayPiece(session, held);
}

void TSessionScreening::WholeReplyArrived(TScreenedSession& session) {
  KillReplyTimer(session);
  session.InFlight = false;
  switch (session.Step) {
    case TSessionStep::ssGreeting:
      return GreetingArrived(session);
    case TSessionStep::ssList:
      return ListReplyArrived(session);
    case TSessionStep::ssUidl:
      return UidlReplyArrived(session);
    case TSessionStep::ssHeader:
      return HeaderReplyArrived(session);
    case TSessionStep::ssRemove:
      return RemovalReplyArrived(session);
    case TSessionStep::ssCopy:
      return CopyReplyArrived(session);
    case TSessionStep::ssKeepAlive:
      return KeepAliveReplyArrived(session);
    case TSessionStep::ssRelayWhole:
      return RenumberedReplyArrived(session);
    default:
      return;
  }
}

void TSessionScreening::ClientCommandDone(TScreenedSession& session) {
  session.InFlight = false;
  session.ClientWaiting = false;
  if (session.Step == TSessionStep::ssDeleteInstead) SetStep(session, TSessionStep::ssIdle);
  const TPop3Command& command = session.Command;
  if (command.Is("PASS") && session.Framing.Positive() && OnLoginAccepted) {
    OnLoginAccepted(TrimBlanks(session.AccountText), command.Argument);
  }
  if (command.Is("RSET") && session.Framing.Positive()) session.Restored.Undelete();
  if (command.Is("QUIT")) {
    EndDeliveries(session);
    if (ListOwner.Is(&session.Client)) review_.Clear();
    session.Client.ClientState = csRelaying;
  }
  DispatchWaiting(session);
}

// The greeting is answered with the login line instead of being relayed;
// the reply to that line is the client's. A greeting that is no "+OK" (a
// line before it, an "-ERR", no line end in time) ends the session.
void TSessionScreening::GreetingArrived(TScreenedSession& session) {
  TMailGWClient& client = session.Client;
  if (!session.Framing.Positive()) {
    return EndWithError(
        session, "-ERR The mail server did not greet: " + TrimBlanks(session.Framing.Status()));
  }
  SetStep(session, TSessionStep::ssRelay);
  session.InFlight = true;
  session.Framing.Start(false);
  state_.ScanCancelled = false;
  client.ClientState = csRelaying;
  client.ServerSocket->SendString(client.LoginLine);
}

// A "+OK" to a RETR of a scanned message makes its UID the marker of the
// session's own account.
void TSessionScreening::RecordRetrieval(TScreenedSession& session) {
  auto uid = session.RowUids.find(session.Number);
  if (uid == session.RowUids.end()) return;
  state_.LastUid = uid->second;
  state_.UidFileStem = MakeUidFileStem(session.AccountText);
  WriteUidMarker(UidMarkerFile(state_.ProgramFolder, state_.UidFileStem), uid->second);
}

// A reply read whole that went silent, took too long or grew too large.
void TSessionScreening::ReplyFailed(TScreenedSession& session) {
  KillReplyTimer(session);
  switch (session.Step) {
    case TSessionStep::ssList:
    case TSessionStep::ssUidl:
    case TSessionStep::ssHeader:
      return CancelScan(session);
    case TSessionStep::ssGreeting:
      return EndWithError(session, session.Framing.StatusTooLong()
                                       ? "-ERR The mail server did not greet: no line end"
                                       : "-ERR The mail server did not greet in time");
    default:
      return EndWithError(session, "-ERR The mail server did not answer in time");
  }
}

// The client gets a last reply if it waits for one, and the server side
// closes; the gateway then ends the client side too.
void TSessionScreening::EndWithError(TScreenedSession& session, const std::string& reply) {
  KillReplyTimer(session);
  if (session.ClientWaiting && !session.RepliedInPart) session.Client.SendString(reply + kCrLf);
  session.ClientWaiting = false;
  session.InFlight = false;
  SetStep(session, TSessionStep::ssIdle);
  ReleaseReview(session);
  TAsyncSocket* server = session.Client.ServerSocket;
  if (server != nullptr && server->State() != wsClosed) server->Close();
}

void TSessionScreening::MailGateway1ServerClosed(TMailGateway*, TMailGWClient* client,
                                                 std::uint16_t) {
  TScreenedSession& session = SessionFor(*client);
  if (Scanning(session)) return CancelScan(session);
  EndWithError(session, "-ERR The mail server closed the connection");
  Changed();
}

void TSessionScreening::MailGateway1ClientClosed(TMailGateway*, TMailGWClient* client,
                                                 std::uint16_t) {
  TScreenedSession& session = SessionFor(*client);
  KillReplyTimer(session);
  session.WaitingLines.clear();
  session.ClientWaiting = false;
  if (session.Scan.HeadersDone) return CancelScan(session);
  ReleaseReview(session);
  Changed();
}

void TSessionScreening::StartReplyTimer(TScreenedSession& session) {
  session.ReplyStarted = session.LastPiece = TScreenedSession::Clock::now();
  timedSessions_[session.Serial] = TSessionHandle(&session.Client);
  MessageLoop::Instance().SetTimer(window_, session.Serial,
                                   std::min(ReplyLimits.Silence, ReplyLimits.Total));
}

void TSessionScreening::KillReplyTimer(TScreenedSession& session) {
  if (timedSessions_.erase(session.Serial) > 0) {
    MessageLoop::Instance().KillTimer(window_, session.Serial);
  }
}

// The timer is re-armed for whichever limit comes first: the silence since
// the last piece, or the reply's time in all.
void TSessionScreening::ReplyTimerFired(WPARAM serial) {
  auto timed = timedSessions_.find(serial);
  TMailGWClient* client = timed == timedSessions_.end() ? nullptr : timed->second.Get();
  TScreenedSession* session = client ? ScreenedSessionOf(*client) : nullptr;
  if (session == nullptr) {
    timedSessions_.erase(serial);
    MessageLoop::Instance().KillTimer(window_, serial);
    return;
  }
  auto silentUntil = session->LastPiece + ReplyLimits.Silence;
  auto totalUntil = session->ReplyStarted + ReplyLimits.Total;
  auto deadline = std::min(silentUntil, totalUntil);
  if (TScreenedSession::Clock::now() >= deadline) {
    ReplyFailed(*session);
    Changed();
    return;
  }
  MessageLoop::Instance().SetTimer(window_, serial, Until(deadline));
}

void TSessionScreening::Changed() {
  if (OnChanged) OnChanged();
}

}  // namespace qb
