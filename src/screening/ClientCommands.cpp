// The mail client's commands (the gateway's OnClientSend): the login switches
// the window to its review layout, LIST prepares the popup, and every
// command is passed upstream, one at a time and in order, and remembered in
// the session's LastCommand; a RETR of a ticked message as a DELE, and a
// bare LIST only once the review is this session's.
#include <cassert>

#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/Pop3Command.h"
#include "screening/SessionScreening.h"

namespace qb {

const char* const kConnectingText = "Connecting to the email account...";
const char* const kCheckingText =
    "Checking possible viruses, spams and blocked messages from the server...";

TScreenedSession* ScreenedSessionOf(TMailGWClient& client) {
  return dynamic_cast<TScreenedSession*>(client.Data.get());
}

TSessionScreening::TSessionScreening(ScreeningState& state, ReviewList& review,
                                     TMainWindowControls& controls, IPopupNotifier& popup,
                                     ITrayIcon& tray, IAsyncLookups& blockListLookups)
    : state_(state),
      review_(review),
      controls_(controls),
      popup_(popup),
      tray_(tray),
      dnsbl_(blockListLookups) {
  dnsbl_.OnNotice = [this](TDnsblChecker*, const std::string& text) { BlockListNotice(text); };
  window_ =
      MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
        return WindowProc(msg, wParam, lParam);
      });
}

TSessionScreening::~TSessionScreening() {
  MessageLoop::Instance().DestroyWindow(window_);
}

LRESULT TSessionScreening::WindowProc(std::uint32_t msg, WPARAM wParam, LPARAM) {
  if (msg != WM_TIMER) return 0;
  if (heldSessions_.contains(wParam)) {
    HoldTimerFired(wParam);
  } else {
    ReplyTimerFired(wParam);
  }
  return 0;
}

TScreenedSession& TSessionScreening::SessionFor(TMailGWClient& client) {
  if (TScreenedSession* session = ScreenedSessionOf(client)) return *session;
  auto session = std::make_unique<TScreenedSession>(client, nextSerial_++);
  TScreenedSession& result = *session;
  client.Data = std::move(session);
  return result;
}

// Before its login has named a server, the client's lines are the
// gateway's; from then on they are carried out here, one at a time.
void TSessionScreening::MailGateway1ClientSend(TMailGateway*, TMailGWClient* client,
                                               std::string& data, TClientState clientState) {
  TScreenedSession& session = SessionFor(*client);
  TPop3Command command = ParseCommand(data);
  if (command.Is("LIST")) ListNotice();
  if (clientState == csWaitingLogin && client->ServerSocket == nullptr) {
    if (command.Is("USER")) LoginNotice(session, data);
    return;
  }
  session.WaitingLines.push_back({data, std::move(command)});
  DispatchWaiting(session);
}

void TSessionScreening::LoginNotice(TScreenedSession& session, const std::string& data) {
  controls_.pnlIlkGorunumVisible = false;
  controls_.Panel1Visible = true;
  TPopupProperties& popup = popup_.Properties();
  popup.GradientColor1 = "$02FAFAFF";
  popup.GradientColor2 = "$02F0F0FA";
  popup.Title = "Quillbright";
  popup.Text = kConnectingText;
  state_.AccountText = data.substr(5);
  session.AccountText = state_.AccountText;
  StartReplyTimer(session);  // a server that never greets must not hold the client for ever
}

void TSessionScreening::ListNotice() {
  popup_.Properties().Title = "Quillbright";
  popup_.Properties().Text = kCheckingText;
}

// The next command goes upstream only when the one before has its whole
// reply, so the replies reach the client in the order of its commands.
void TSessionScreening::DispatchWaiting(TScreenedSession& session) {
  while (!session.InFlight && !session.ClientWaiting && !session.WaitingLines.empty()) {
    TAsyncSocket* server = session.Client.ServerSocket;
    if (server == nullptr || server->State() != wsConnected) return;
    TScreenedSession::TClientLine next = std::move(session.WaitingLines.front());
    session.WaitingLines.pop_front();
    CarryOut(session, std::move(next));
  }
}

// The first command that shows the mailbox (its count, listing or UIDs)
// waits for the scan and the review: the client then sees the mailbox as
// it is after the removals, from its first look on. A command that names a
// message the client was not shown is answered here.
void TSessionScreening::CarryOut(TScreenedSession& session, TScreenedSession::TClientLine next) {
  session.Command = std::move(next.Command);
  session.ClientLine = std::move(next.Line);
  const TPop3Command& command = session.Command;
  const std::string& line = session.ClientLine;
  session.ClientWaiting = true;
  session.RepliedInPart = false;
  session.Number = 0;
  bool showsMailbox = command.IsBare("LIST") || command.IsBare("STAT") || command.IsBare("UIDL");
  if (!session.Scanned && showsMailbox) return StartScan(session);
  if (AnswerRestored(session, command)) return;
  std::string upstream = line;
  if (command.NamesMessage()) {
    std::optional<std::int64_t> number = session.Numbering.ServerNumberOf(command);
    if (!number) return AnswerHere(session, "-ERR no such message\r\n");
    session.Number = *number;
    upstream = TRenumbering::CommandToServer(command, *number);
    if (command.Is("RETR")) return Retrieve(session, upstream);
  }
  bool renumbered = (session.Numbering.Active() || session.Restored.Any()) &&
                    (command.Is("LIST") || command.Is("UIDL") || command.IsBare("STAT"));
  SendUpstream(session, upstream, renumbered ? TSessionStep::ssRelayWhole : TSessionStep::ssRelay,
               HasMultiLineReply(command));
}

// The gateway's own reply to the command: nothing of it goes upstream.
void TSessionScreening::AnswerHere(TScreenedSession& session, const std::string& reply) {
  SetStep(session, TSessionStep::ssIdle);
  session.ClientWaiting = false;
  session.Client.SendString(reply);
}

// The scan starts at once, whatever other sessions scan or review; the
// command waits for it and for the review, within the hold limit.
void TSessionScreening::StartScan(TScreenedSession& session) {
  ListNotice();
  StartHoldTimer(session);
  scanning_[session.Serial] = TSessionHandle(&session.Client);
  SendUpstream(session, "LIST\r\n", TSessionStep::ssList, true);
  ShowStatus();
}

// A RETR of a ticked row of this session's list becomes its DELE; any
// other is passed on, and its retrieval is recorded like any other.
void TSessionScreening::Retrieve(TScreenedSession& session, const std::string& upstream) {
  const MessageRow* row = FindOwnRow(session.Client, session.Number);
  if (row && row->Checked) {
    session.Copies.Facts[session.Number] = RemovalFactsOf(*row);
    return DeleteInstead(session, session.Number);
  }
  SendUpstream(session, upstream, TSessionStep::ssRetrieve, true);
}

const MessageRow* TSessionScreening::FindOwnRow(const TMailGWClient& client,
                                                std::int64_t number) const {
  if (!ListOwner.Is(&client)) return nullptr;
  for (const MessageRow& row : review_.Rows()) {
    if (row.Number == number) return &row;
  }
  return nullptr;
}

// Every change of a session's step comes here, and only here: the step
// follows the one before as the table of steps allows, and the gateway's
// LastCommand names it.
void TSessionScreening::SetStep(TScreenedSession& session, TSessionStep step) {
  assert(StepMayFollow(session.Step, step));
  TraceStep(session.Serial, session.Step, step);
  session.Step = step;
  session.Client.LastCommand = LastCommandText(step, session.ClientLine, session.Number);
}

void TSessionScreening::SendUpstream(TScreenedSession& session, const std::string& text,
                                     TSessionStep step, bool listing) {
  SetStep(session, step);
  session.InFlight = true;
  session.Framing.Start(listing);
  session.Reply.clear();
  if (StepReadsWholeReply(step)) StartReplyTimer(session);
  session.Client.ServerSocket->SendString(text);
}

}  // namespace qb
