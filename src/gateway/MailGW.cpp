#include "gateway/MailGW.h"

#include "gateway/LoginSplit.h"
#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "platform/SocketError.h"

namespace qb {

namespace {

const std::string kLineEnd = "\r\n";
const std::string kControlByteRefusal =
    "-ERR The server part of the login holds a control character";

struct GatewayFlavour {
  const char* Hello;
  const char* UserIdent;
  const char* Error;
  const char* Port;
};

GatewayFlavour FlavourOf(TGatewayType type) {
  if (type == gtSmtp)
    return {"220 SMTP Gateway ready", "helo", "500 command not recognized", "smtp"};
  return {"+OK POP3 Gateway ready", "user", "-ERR Invalid Command", "pop3"};
}

}  // namespace

// ---- TMailGWClient --------------------------------------------------------------

TMailGWClient::~TMailGWClient() {
  ServerSocket = nullptr;
  serverSockets_.clear();
  Connector = nullptr;
  connectors_.clear();
}

// With linger off the system sends what is queued and then ends the
// connection in order; a close with the default linger would reset it.
void TMailGWClient::EndSession() {
  ending_ = true;
  if (State() == wsClosed) return;
  if (LingerOnOff != wsLingerOff) {
    LingerOnOff = wsLingerOff;
    ApplyLinger();
  }
  if (AllSent()) {
    Close();
    return;
  }
  OnDataSent = [this](TCustomAsyncSocket*, std::uint16_t) {
    if (State() != wsClosed) Close();
  };
}

TAsyncSocket* TMailGWClient::CreateServerSocket() {
  serverSockets_.push_back(std::make_unique<TAsyncSocket>());
  ServerSocket = serverSockets_.back().get();
  ServerSocket->Owner = this;
  PairForFlowControl(*ServerSocket);
  return ServerSocket;
}

THappyEyeballs& TMailGWClient::CreateConnector(std::uint16_t port, THappyEyeballs::TDone done) {
  connectors_.push_back(std::make_unique<THappyEyeballs>(port, std::move(done)));
  Connector = connectors_.back().get();
  return *Connector;
}

// ---- TMailGateway -----------------------------------------------------------------

TMailGateway::TMailGateway()
    : listeners_([this](TSocketServer& listener, bool implicitTls) {
        ConfigureListener(listener, implicitTls);
      }) {
  upstreamGuard_.OnPlainLogin = [this](const std::string& server) {
    if (OnPlainUpstream) OnPlainUpstream(this, server);
  };
}

// A listener as the gateway's properties say: it makes a TMailGWClient of
// each client, greets it with SrvHelloCommand (on the TLS port once the
// handshake is done) and reads its lines.
void TMailGateway::ConfigureListener(TSocketServer& listener, bool implicitTls) {
  listener.ReuseAddr = true;
  listener.MaxClients = MaxClients;
  listener.SetAddr(Addr);
  // The clients' lines may end in a bare LF, so their line end is LF alone:
  // the banners carry the CR of their own CR LF.
  listener.Banner = implicitTls ? "" : SrvHelloCommand + "\r";
  listener.BannerTooBusy = "Sorry, too many clients\r";
  listener.ClientClass = [] { return std::make_unique<TMailGWClient>(); };
  listener.LineEnd = "\n";
  listener.SetLineMode(true);
  listener.SetProto("tcp");
  listener.OnClientConnect = [this, implicitTls](TCustomSocketServer*, TSocketClient* client,
                                                 std::uint16_t) {
    SetUpSession(static_cast<TMailGWClient&>(*client), implicitTls);
  };
  listener.OnSessionClosed = [this](TCustomAsyncSocket*, std::uint16_t error) {
    ForwardSessionClosed(error);
  };
  listener.OnBgException = [this](TCustomAsyncSocket*, const std::exception& e, bool& canClose) {
    ForwardBgException(e, canClose);
  };
}

TMailGateway::~TMailGateway() {
  destroying_ = true;
  if (pool_ != nullptr) {
    for (TLookupId id : lookups_) pool_->Cancel(id);
  }
  CloseSessions();
}

void TMailGateway::SetGatewayType(TGatewayType value) {
  if (active_) {
    CurrentDialogs().ShowMessageBox("Component is active, first close with .close.",
                                    TMsgDlgType::mtError);
    return;
  }
  if (value == gatewayType_) return;
  GatewayFlavour flavour = FlavourOf(value);
  SrvHelloCommand = flavour.Hello;
  SrvUserIdent = flavour.UserIdent;
  SrvErrorString = flavour.Error;
  Port = flavour.Port;
  DefMailSrvPort = Port;
  gatewayType_ = value;
  ConfigureListener(listeners_.Primary(), false);
}

std::string TMailGateway::Open() {
  if (DelimChar == '\0' && DefMailServer.empty()) {
    CurrentDialogs().ShowMessageBox(
        "No Delimiter AND no DefMailServer is set, one of booth must set !", TMsgDlgType::mtError);
    return "";
  }
  if (active_) return "";
  ListenNotices.clear();
  std::string error =
      listeners_.Open({Addr, Addr6, Port, OffersTls() ? TlsPort : ""}, ListenNotices);
  active_ = error.empty();
  return error;
}

void TMailGateway::CloseSessions() {
  listeners_.CloseSessions(destroying_);
}

void TMailGateway::Close() {
  CloseSessions();
  active_ = false;
}

void TMailGateway::SetUpSession(TMailGWClient& client, bool implicitTls) {
  client.LineEnd = "\n";
  client.SetLineMode(true);
  client.OnDataAvailable = [this](TCustomAsyncSocket* socket, std::uint16_t) {
    ClientLine(static_cast<TMailGWClient&>(*socket));
  };
  client.OnSessionClosed = [this](TCustomAsyncSocket* socket, std::uint16_t error) {
    ClientClosed(static_cast<TMailGWClient&>(*socket), error);
  };
  client.OnError = [this](TCustomAsyncSocket* socket) {
    if (OnError) OnError(socket);
  };
  client.OnTlsDone = [this, implicitTls](TCustomAsyncSocket* socket, const std::string& failure) {
    ClientTlsDone(static_cast<TMailGWClient&>(*socket), implicitTls, failure);
  };
  client.ClientState = csWaitingLogin;
  if (OnClientConnect) OnClientConnect(this, &client);
  if (implicitTls && client.State() == wsConnected) client.AcceptTls(CertificateFile, KeyFile);
}

// A client's handshake that failed has closed its connection (the TLS layer
// aborts it); one on the TLS port that succeeded is greeted now.
void TMailGateway::ClientTlsDone(TMailGWClient& client, bool implicitTls,
                                 const std::string& failure) {
  if (failure.empty() && implicitTls) client.SendString(SrvHelloCommand + kLineEnd);
}

void TMailGateway::ClientLine(TMailGWClient& client) {
  std::string data = client.ReceiveString();
  // Lines that came behind a refused login or a web request go nowhere.
  if (client.Ending()) return;
  EndLineWithCrLf(data);
  bool beforeLogin = client.ClientState == csWaitingLogin && client.ServerSocket == nullptr;
  if (beforeLogin && gatewayType_ == gtPop3) return LoginDialogue(client, data);
  if (OnClientSend) OnClientSend(this, &client, data, client.ClientState);
  if (client.ClientState != csWaitingLogin) return;
  // Once a login has named its server, what the client sends before the
  // server has greeted is the application's to pass on: a second USER line
  // opens no second connection.
  if (client.ServerSocket != nullptr) return;
  if (LowerAscii(data.substr(0, 4)) != SrvUserIdent) {
    client.SendString(SrvErrorString + kLineEnd);
    return;
  }
  Login(client, TLoginStep::LoginAs(data));
}

// The POP3 lines before the login: the gateway answers them itself, and a
// web request ends the session before anything reaches a server.
void TMailGateway::LoginDialogue(TMailGWClient& client, const std::string& data) {
  TLoginOffer offer;
  offer.Stls = OffersTls() && !client.TlsActive();
  offer.Delimiter = DelimChar;
  TLoginStep step = NextLoginStep(data, client.Dialogue, offer);
  switch (step.Action) {
    case TLoginStep::laReply:
      client.SendString(step.Reply + kLineEnd);
      return;
    case TLoginStep::laRefuse:
      return RefuseLogin(client, step.Reply);
    case TLoginStep::laDrop:
      client.LingerOnOff = wsLingerOff;
      client.ApplyLinger();
      return client.Close();
    case TLoginStep::laStartTls:
      client.SendString(step.Reply + kLineEnd);
      return client.AcceptTls(CertificateFile, KeyFile);
    case TLoginStep::laLogin:
      // A control byte would make the name connected to differ from the
      // name every per-server memory is kept under ("127.0.0.1\0x").
      if (HoldsControlByte(TrimAsciiSpace(step.UserLine))) {
        return RefuseLogin(client, kControlByteRefusal);
      }
      if (OnClientSend) OnClientSend(this, &client, step.UserLine, client.ClientState);
      if (client.ClientState != csWaitingLogin || client.State() != wsConnected) return;
      return Login(client, step);
  }
}

void TMailGateway::Login(TMailGWClient& client, const TLoginStep& step) {
  TAsyncSocket& server = *client.CreateServerSocket();
  server.OnBgException = [this](TCustomAsyncSocket*, const std::exception& e, bool& canClose) {
    ForwardBgException(e, canClose);
  };
  server.OnSessionClosed = [this](TCustomAsyncSocket* socket, std::uint16_t error) {
    ServerClosed(static_cast<TAsyncSocket&>(*socket), error);
  };
  TLoginTarget target = SplitLogin(step.UserLine, DelimChar, DefMailServer, DefMailSrvPort);
  client.LoginLine = step.ByAuthPlain
                         ? "AUTH PLAIN " + EncodeAuthPlain(step.Account, step.Password) + kLineEnd
                         : target.LoginLine;
  if (HoldsControlByte(target.Address) || HoldsControlByte(target.Port)) {
    return RefuseLogin(client, kControlByteRefusal);
  }
  server.SetAddr(target.Address);
  server.SetPort(target.Port);
  // A login without a server (and no default) is this client's mistake: it
  // is told so and its session ends, while the gateway goes on listening.
  if (server.Addr().empty()) return RefuseLogin(client, SrvErrorString);
  if (!IsUsablePort(server.Port())) {
    return RefuseLogin(client, "-ERR The port " + server.Port() + " is not a port from 1 to 65535");
  }
  ChooseUpstream(client, server, target);
}

// The client's login waits for a reply: it gets one, and then its session ends.
void TMailGateway::RefuseLogin(TMailGWClient& client, const std::string& reason) {
  client.SendString(reason + kLineEnd);
  client.EndSession();
}

void TMailGateway::ServerData(TAsyncSocket& server, TUpstreamSecurity& security) {
  std::string data = server.ReceiveString();
  if (security.Admit(data)) DeliverServerData(server, data);
}

void TMailGateway::DeliverServerData(TAsyncSocket& server, std::string& data) {
  auto* client = static_cast<TMailGWClient*>(server.Owner);
  if (OnServerSend) OnServerSend(this, &server, data, client->ClientState);
}

// Only the session's current server connection speaks for it; an earlier
// one (replaced by a second login) closes unheard.
void TMailGateway::ServerClosed(TAsyncSocket& server, std::uint16_t error) {
  auto* client = static_cast<TMailGWClient*>(server.Owner);
  if (client == nullptr || client->ServerSocket != &server) return;
  if (OnServerClosed) {
    OnServerClosed(this, client, error);
  } else if (client->ClientState == csWaitingLogin && client->State() == wsConnected) {
    client->SendString("-ERR The mail server " + server.Addr() + " closed the connection" +
                       kLineEnd);
  }
  client->EndSession();
}

void TMailGateway::ClientClosed(TMailGWClient& client, std::uint16_t error) {
  if (OnClientClosed) OnClientClosed(this, &client, error);
  if (client.ServerSocket != nullptr && client.ServerSocket->State() != wsClosed) {
    client.ServerSocket->Close();
  }
  ForwardSessionClosed(error);
}

void TMailGateway::ForwardBgException(const std::exception& e, bool& canClose) {
  canClose = false;
  if (OnBgException) OnBgException(this, e, canClose);
}

void TMailGateway::ForwardSessionClosed(std::uint16_t error) {
  if (OnSessionClosed) OnSessionClosed(this, error);
}

}  // namespace qb
