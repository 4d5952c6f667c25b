// The mail client's commands (the gateway's OnClientSend): the login switches
// the window to its review layout, LIST prepares the popup, and every
// command is passed upstream and remembered in the session's LastCommand,
// a RETR of a ticked message as a DELE.
#include "platform/AsciiText.h"
#include "screening/SessionScreening.h"

namespace qb {

const char* const kConnectingText = "Connecting to the email account...";
const char* const kCheckingText =
    "Checking possible viruses, spams and blocked messages from the server...";

TSessionScreening::TSessionScreening(ScreeningState& state, ReviewList& review,
                                     TMainWindowControls& controls, IPopupNotifier& popup,
                                     ITrayIcon& tray, IHostResolver& resolver)
    : state_(state),
      review_(review),
      controls_(controls),
      popup_(popup),
      tray_(tray),
      resolver_(resolver) {}

void TSessionScreening::MailGateway1ClientSend(TMailGateway*, TMailGWClient* client,
                                               std::string& data, TClientState clientState) {
  if (clientState == csWaitingLogin && data.starts_with("USER")) LoginNotice(data);
  if (data.starts_with("LIST")) {
    popup_.Properties().Title = "Quillbright";
    popup_.Properties().Text = kCheckingText;
  }
  if (clientState != csRelaying || client->ServerSocket == nullptr) return;
  if (data.starts_with("RETR ")) {
    RelayRetrieve(*client, data);
    return;
  }
  client->ServerSocket->SendString(data);
  client->LastCommand = data;
}

void TSessionScreening::LoginNotice(const std::string& data) {
  controls_.pnlIlkGorunumVisible = false;
  controls_.Panel1Visible = true;
  TPopupProperties& popup = popup_.Properties();
  popup.GradientColor1 = "$02FAFAFF";
  popup.GradientColor2 = "$02F0F0FA";
  popup.Title = "Quillbright";
  popup.Text = kConnectingText;
  state_.AccountText = data.substr(5);
}

// A RETR whose number has no row of this session's list is passed on, and
// its retrieval is recorded like any other.
void TSessionScreening::RelayRetrieve(TMailGWClient& client, const std::string& data) {
  std::string number = TrimBlanks(data.substr(5));
  const MessageRow* row = FindOwnRow(client, number);
  if (row && row->Checked) {
    client.ServerSocket->SendString("DELE " + number + "\r\n");
    client.LastCommand = "*DELE " + number;
    return;
  }
  client.ServerSocket->SendString("RETR " + number + "\r\n");
  client.LastCommand = "RETR " + number;
}

const MessageRow* TSessionScreening::FindOwnRow(const TMailGWClient& client,
                                                const std::string& number) const {
  if (!ListOwner.Is(&client)) return nullptr;
  for (const MessageRow& row : review_.Rows()) {
    if (row.MessageNumber == number) return &row;
  }
  return nullptr;
}

}  // namespace qb
