#include "gateway/MailGW.h"

#include <arpa/inet.h>

#include "gateway/LoginSplit.h"
#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "platform/SocketError.h"

namespace qb {

namespace {

const std::string kLineEnd = "\r\n";

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

// An address written as four dotted numbers needs no lookup.
bool IsDottedQuad(const std::string& address) {
  in_addr parsed{};
  return inet_pton(AF_INET, TrimBlanks(address).c_str(), &parsed) == 1;
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

// ---- TMailGWClient --------------------------------------------------------------

TMailGWClient::~TMailGWClient() {
  ServerSocket = nullptr;
  serverSockets_.clear();
}

// With linger off the system sends what is queued and then ends the
// connection in order; a close with the default linger would reset it.
void TMailGWClient::EndSession() {
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

// ---- TMailGateway -----------------------------------------------------------------

TMailGateway::TMailGateway() : listenSocket_(std::make_unique<TSocketServer>()) {
  TSocketServer& listener = *listenSocket_;
  ConfigureListener();
  listener.OnClientConnect = [this](TCustomSocketServer*, TSocketClient* client, std::uint16_t) {
    SetUpSession(static_cast<TMailGWClient&>(*client));
  };
  listener.OnSessionClosed = [this](TCustomAsyncSocket*, std::uint16_t error) {
    ForwardSessionClosed(error);
  };
}

// The listener as the gateway's properties say: it greets each client with
// SrvHelloCommand, makes a TMailGWClient of it and reads its lines.
void TMailGateway::ConfigureListener() {
  TSocketServer& listener = *listenSocket_;
  listener.ReuseAddr = true;
  listener.MaxClients = MaxClients;
  listener.SetAddr(Addr);
  listener.Banner = SrvHelloCommand;
  listener.ClientClass = [] { return std::make_unique<TMailGWClient>(); };
  listener.LineEnd = kLineEnd;
  listener.SetLineMode(true);
  listener.SetProto("tcp");
}

TMailGateway::~TMailGateway() {
  destroying_ = true;
  if (pool_ != nullptr) {
    for (TLookupId id : lookups_) pool_->Cancel(id);
  }
  CloseSessions();
  listenSocket_.reset();
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
  listenSocket_->Banner = SrvHelloCommand;
  gatewayType_ = value;
}

std::string TMailGateway::Open() {
  if (DelimChar == '\0' && DefMailServer.empty()) {
    CurrentDialogs().ShowMessageBox(
        "No Delimiter AND no DefMailServer is set, one of booth must set !", TMsgDlgType::mtError);
    return "";
  }
  if (active_) return "";
  TSocketServer& listener = *listenSocket_;
  try {
    listener.OnBgException = [this](TCustomAsyncSocket*, const std::exception& e, bool& canClose) {
      ForwardBgException(e, canClose);
    };
    ConfigureListener();
    listener.SetPort(Port);
    listener.Listen();
    active_ = true;
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "";
}

void TMailGateway::CloseSessions() {
  TSocketServer& listener = *listenSocket_;
  for (int i = 0; i < listener.ClientCount(); ++i) listener.Clients(i)->Close();
  if (!destroying_) listener.Close();
}

void TMailGateway::Close() {
  CloseSessions();
  active_ = false;
}

void TMailGateway::SetUpSession(TMailGWClient& client) {
  client.LineEnd = kLineEnd;
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
  client.ClientState = csWaitingLogin;
  if (OnClientConnect) OnClientConnect(this, &client);
}

void TMailGateway::ClientLine(TMailGWClient& client) {
  std::string data = client.ReceiveString();
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
  Login(client, data);
}

void TMailGateway::Login(TMailGWClient& client, const std::string& data) {
  TAsyncSocket& server = *client.CreateServerSocket();
  server.OnBgException = [this](TCustomAsyncSocket*, const std::exception& e, bool& canClose) {
    ForwardBgException(e, canClose);
  };
  server.OnSessionClosed = [this](TCustomAsyncSocket* socket, std::uint16_t error) {
    ServerClosed(static_cast<TAsyncSocket&>(*socket), error);
  };
  TLoginTarget target = SplitLogin(data, DelimChar, DefMailServer, DefMailSrvPort);
  client.LoginLine = target.LoginLine;
  server.SetAddr(target.Address);
  server.SetPort(target.Port);
  // A login without a server (and no default) is this client's mistake: it
  // is told so and its session ends, while the gateway goes on listening.
  if (server.Addr().empty()) return RefuseLogin(client, SrvErrorString);
  if (!IsUsablePort(server.Port())) {
    return RefuseLogin(client, "-ERR The port " + server.Port() + " is not a port from 1 to 65535");
  }
  SecureUpstream(client, server, target.Tls);
}

// The server's data reaches the application only through the connection's
// security step (gateway/UpstreamSecurity), which the socket's data handler
// owns: it lives exactly as long as the server connection.
void TMailGateway::SecureUpstream(TMailGWClient& client, TAsyncSocket& server, TUpstreamTls tls) {
  TUpstreamRequest request{ResolveUpstreamTls(tls, server.Port()), server.Addr(), StlsServersFile,
                           TlsHandshakeTimeout};
  auto security = std::make_shared<TUpstreamSecurity>(
      server, client, std::move(request), upstreamGuard_,
      [this, &server](std::string& data) { DeliverServerData(server, data); });
  server.OnDataAvailable = [this, security](TCustomAsyncSocket* socket, std::uint16_t) {
    ServerData(static_cast<TAsyncSocket&>(*socket), *security);
  };
  security->Begin();
  if (IsDottedQuad(server.Addr())) return ConnectUpstream(client, server);
  ResolveThenConnect(client, server);
}

TResolverPool& TMailGateway::Resolvers() {
  if (pool_ == nullptr) {
    ownPool_ = std::make_unique<TResolverPool>(CurrentHostResolver(), 2);
    pool_ = ownPool_.get();
  }
  return *pool_;
}

// The answer comes from the loop: by then the session may have ended, or a
// second login may have replaced this server connection.
void TMailGateway::ResolveThenConnect(TMailGWClient& client, TAsyncSocket& server) {
  auto id = std::make_shared<TLookupId>(0);
  *id = Resolvers().Resolve(
      server.Addr(), LookupLimit,
      [this, id, session = TSessionHandle(&client), socket = &server](const TLookupResult& r) {
        lookups_.erase(*id);
        ServerNameResolved(session, socket, r);
      });
  lookups_.insert(*id);
}

void TMailGateway::ServerNameResolved(const TSessionHandle& session, TAsyncSocket* server,
                                      const TLookupResult& result) {
  TMailGWClient* client = session.Get();
  if (client == nullptr || client->ServerSocket != server || client->State() == wsClosed) return;
  std::string refusal = "-ERR Cannot connect to the mail server " + server->Addr() + ": ";
  if (result.TimedOut) return RefuseLogin(*client, refusal + "its name was not found in time");
  if (result.Addresses.empty()) return RefuseLogin(*client, refusal + "its name does not resolve");
  server->SetResolvedAddr(result.Addresses.front());
  ConnectUpstream(*client, *server);
}

void TMailGateway::ConnectUpstream(TMailGWClient& client, TAsyncSocket& server) {
  try {
    server.Connect();
  } catch (const ESocketException& e) {
    RefuseLogin(client, "-ERR Cannot connect to the mail server " + server.Addr() + ": " +
                            FirstLine(e.what()));
  }
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
