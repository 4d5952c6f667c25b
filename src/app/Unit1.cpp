#include "app/Unit1.h"

#include "platform/MessageLoop.h"

namespace qb {

TForm1::TForm1(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon, IHostResolver& resolver)
    : Screening(State, ReviewListView1, Controls, popupNotifier, trayIcon, resolver),
      PopupNotifier1(popupNotifier),
      TrayIcon1(trayIcon) {
  ConfigureGateway();
}

void TForm1::ConfigureGateway() {
  MailGateway1.Addr = "127.0.0.1";
  MailGateway1.Port = "pop3";
  MailGateway1.MaxClients = 50;
  MailGateway1.DelimChar = '#';
  MailGateway1.SetGatewayType(gtPop3);
  MailGateway1.OnClientSend = [this](TMailGateway* sender, TMailGWClient* client, std::string& data,
                                     TClientState state) {
    Screening.MailGateway1ClientSend(sender, client, data, state);
    Changed();
  };
  MailGateway1.OnServerSend = [this](TMailGateway* sender, TAsyncSocket* server, std::string& data,
                                     TClientState state) {
    Screening.MailGateway1ServerSend(sender, server, data, state);
    Changed();
  };
  MailGateway1.OnSessionClosed = [](TMailGateway*, std::uint16_t) {};
  MailGateway1.OnError = [](TCustomAsyncSocket*) {};
}

void TForm1::Changed() {
  if (OnChanged) OnChanged(this);
}

// Nothing is sent to a session that has closed meanwhile.
void TForm1::Button1Click() {
  Controls.lblAccountCaption.clear();
  TMailGWClient* client = Screening.ReviewClient.Get();
  if (client && client->State() == wsConnected) {
    client->SendString(HeldListReply(State));
    client->LastCommand = "-";
  }
  TrayIcon1.ShowMainWindow();
  TrayIcon1.HideMainWindow();
  Controls.Button1Enabled = false;
  PopupNotifier1.Properties().TimeOut = 0;
  PopupNotifier1.CloseAllPopups();
  Changed();
  MessageLoop::Instance().ProcessMessages();
}

}  // namespace qb
