// TMailGateway: the mail gateway component. It listens on a local port,
// greets each mail client, waits for the login command that names both the
// account and the real server ("USER account#server[:port]"), opens a
// connection of its own to that server, and from then on hands every client
// line and every batch of server data to the application through OnClientSend
// and OnServerSend. Forwarding in either direction is the application's job.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gateway/ClientLogin.h"
#include "gateway/GatewayListeners.h"
#include "gateway/LoginSplit.h"
#include "gateway/UpstreamSecurity.h"
#include "net/AsyncSocket.h"
#include "net/HappyEyeballs.h"
#include "net/SocketServer.h"
#include "platform/ResolverPool.h"

namespace qb {

enum TGatewayType : std::uint8_t { gtPop3, gtSmtp };
enum TClientState : std::uint8_t { csWaitingLogin, csRelaying };

class TMailGateway;

// What the lookups of a login's server name found, over both families.
struct TUpstreamLookup {
  bool Found = false;
  bool TimedOut = false;
};

// What an application keeps per session (the screening's state of one mail
// client's session). The session owns it and frees it with itself.
class TSessionData {
 public:
  virtual ~TSessionData() = default;
};

// One gateway session: the accepted connection to the mail client, plus the
// connection to its mail server once the login has named it.
class TMailGWClient : public TSocketClient {
 public:
  ~TMailGWClient() override;

  std::string LoginLine;
  TClientState ClientState = csWaitingLogin;
  // The connection to the mail server; nullptr until the login arrives.
  TAsyncSocket* ServerSocket = nullptr;
  // Kept by the screening code; the gateway never reads or writes it.
  std::string LastCommand;
  // The application's own record of this session; the gateway never reads it.
  std::unique_ptr<TSessionData> Data;
  // The login dialogue before a server is named (AUTH PLAIN in two steps).
  TLoginDialogue Dialogue;
  // The port to go on with when TLS first on 995 found nothing there.
  std::string FallbackPort;
  // The connection being made to the current server; nullptr before.
  THappyEyeballs* Connector = nullptr;

  // A handle that tells whether this session still exists.
  std::weak_ptr<void> Lifetime() const { return lifetime_; }

  // Creates the next server connection, owned by the session and paired
  // with it for flow control (the one socket's queue above its bound holds
  // the other's reads). An earlier one lives on until the session is freed.
  TAsyncSocket* CreateServerSocket();
  // Makes the next connection attempt's connector; an earlier one lives on
  // (it may be the one whose event made this one) until the session goes.
  THappyEyeballs& CreateConnector(std::uint16_t port, THappyEyeballs::TDone done);

  // Ends the session after what has been sent so far has reached the
  // system: the close is graceful (no reset that could discard a last
  // "-ERR"), and it waits for the send queue to drain.
  void EndSession();
  // Whether the session is ending (or has ended): its further lines are dropped.
  bool Ending() const { return ending_ || State() != wsConnected; }

 private:
  std::vector<std::unique_ptr<TAsyncSocket>> serverSockets_;
  std::vector<std::unique_ptr<THappyEyeballs>> connectors_;
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
  bool ending_ = false;
};

// A reference to a session that may be freed meanwhile: it tells whether the
// session still exists before it hands it out.
class TSessionHandle {
 public:
  TSessionHandle() = default;
  explicit TSessionHandle(TMailGWClient* client)
      : client_(client), lifetime_(client ? client->Lifetime() : std::weak_ptr<void>()) {}
  // The session, or nullptr once it has been freed.
  TMailGWClient* Get() const { return lifetime_.expired() ? nullptr : client_; }
  bool Is(const TMailGWClient* client) const { return client && Get() == client; }
  void Reset() { *this = TSessionHandle(); }

 private:
  TMailGWClient* client_ = nullptr;
  std::weak_ptr<void> lifetime_;
};

using TMailGatewayClientEvent = std::function<void(TMailGateway* sender, TMailGWClient* client,
                                                   std::string& data, TClientState clientState)>;
using TMailGatewayServerEvent = std::function<void(TMailGateway* sender, TAsyncSocket* server,
                                                   std::string& data, TClientState clientState)>;
using TMailGatewayClientConnectEvent =
    std::function<void(TMailGateway* sender, TMailGWClient* client)>;
using TSessionClosed = std::function<void(TMailGateway* sender, std::uint16_t error)>;
using TMailGatewaySessionEvent =
    std::function<void(TMailGateway* sender, TMailGWClient* client, std::uint16_t error)>;
using TMailGatewayBgExceptionEvent =
    std::function<void(TMailGateway* sender, const std::exception& e, bool& canClose)>;

class TMailGateway {
 public:
  TMailGateway();
  ~TMailGateway();
  TMailGateway(const TMailGateway&) = delete;
  TMailGateway& operator=(const TMailGateway&) = delete;

  int MaxClients = 50;
  std::string DefMailServer;
  std::string DefMailSrvPort = "pop3";
  std::string Port = "pop3";
  std::string Addr = "0.0.0.0";
  // Also listened on, with the same port ("::1"); "" for none.
  std::string Addr6;
  // The local leg's TLS: with a certificate and its key, CAPA offers STLS
  // and TlsPort (when not "") takes implicit TLS. The mail server's leg is
  // chosen on its own (UpstreamSecurity), whatever the client's leg is.
  std::string CertificateFile;
  std::string KeyFile;
  std::string TlsPort;
  // What Open could not listen on, one line each (an address the machine
  // lacks, a TLS port taken); the gateway listens on the others.
  std::vector<std::string> ListenNotices;
  char DelimChar = '#';  // code 0: none
  std::string SrvHelloCommand = "+OK POP3 Gateway ready";
  std::string SrvUserIdent = "user";
  std::string SrvErrorString = "-ERR Invalid Command";
  // TLS to the mail server (gateway/UpstreamSecurity): the file that
  // remembers the servers seen offering STLS ("" keeps them only while the
  // gateway lives), and how long a TLS handshake may take.
  std::string StlsServersFile;
  std::chrono::milliseconds TlsHandshakeTimeout{30000};
  // A login's server name is looked up off the main thread, so a slow name
  // server holds only that login; a lookup that takes longer than this
  // ends the login with "-ERR".
  std::chrono::milliseconds LookupLimit{2000};
  // How long a login that tries implicit TLS on 995 first (it names no
  // port) waits for a connection there before it goes on to its port.
  std::chrono::milliseconds TlsFirstConnectLimit{5000};
  // The pool that looks the names up. Without one, the gateway makes its
  // own over the resolver in use at the first login. The pool must outlive
  // the gateway.
  void SetResolverPool(TResolverPool* pool) { pool_ = pool; }

  TGatewayType GatewayType() const { return gatewayType_; }
  void SetGatewayType(TGatewayType value);

  TMailGatewayClientEvent OnClientSend;
  TMailGatewayServerEvent OnServerSend;
  TMailGatewayClientConnectEvent OnClientConnect;
  TSessionClosed OnSessionClosed;
  TNotifyEvent OnError;
  TMailGatewayBgExceptionEvent OnBgException;
  // The session's connection to its mail server closed (the server ended
  // it, the connection failed, or the session closed it). The gateway then
  // ends the client side too; a handler may first send the client a last
  // reply. Without a handler, a login that still waits is answered "-ERR".
  TMailGatewaySessionEvent OnServerClosed;
  // A login that tried TLS first found neither implicit TLS nor STLS and
  // goes on in plain: told once per server (named as the login wrote it).
  std::function<void(TMailGateway* sender, const std::string& server)> OnPlainUpstream;
  // The mail client's connection of a session closed; its server connection
  // is closed right after, without a QUIT, so nothing is committed.
  TMailGatewaySessionEvent OnClientClosed;

  // Starts listening. Returns "" on success (or when the configuration check
  // failed and was shown), else the socket layer's message.
  std::string Open();
  void Close();
  void CloseSessions();
  bool Active() const { return active_; }
  TSocketServer& ListenSocket() { return listeners_.Primary(); }
  int TlsBoundPort() const { return listeners_.TlsBoundPort(); }
  bool OffersTls() const { return !CertificateFile.empty() && !KeyFile.empty(); }

 private:
  void ConfigureListener(TSocketServer& listener, bool implicitTls);
  void SetUpSession(TMailGWClient& client, bool implicitTls);
  void ClientTlsDone(TMailGWClient& client, bool implicitTls, const std::string& failure);
  void ClientLine(TMailGWClient& client);
  void LoginDialogue(TMailGWClient& client, const std::string& data);
  void Login(TMailGWClient& client, const TLoginStep& step);
  void ServerClosed(TAsyncSocket& server, std::uint16_t error);
  void ClientClosed(TMailGWClient& client, std::uint16_t error);
  void RefuseLogin(TMailGWClient& client, const std::string& reason);
  void ChooseUpstream(TMailGWClient& client, TAsyncSocket& server, const TLoginTarget& target);
  void SecureUpstream(TMailGWClient& client, TAsyncSocket& server, TUpstreamTls tls,
                      bool tellPlain);
  void ResolveThenConnect(TMailGWClient& client, TAsyncSocket& server,
                          const std::shared_ptr<TUpstreamLookup>& lookup);
  void ServerNameResolved(const TSessionHandle& session, TAsyncSocket* server,
                          TUpstreamLookup& lookup, TLookupFamily family,
                          const TLookupResult& result);
  void UpstreamConnected(const TSessionHandle& session, TAsyncSocket* server,
                         TUpstreamSecurity& security, int handle, const std::string& failure,
                         const TUpstreamLookup& lookup);
  void FallBackFromImplicitTls(TMailGWClient& client, TAsyncSocket& previous);
  TResolverPool& Resolvers();
  void ServerData(TAsyncSocket& server, TUpstreamSecurity& security);
  void DeliverServerData(TAsyncSocket& server, std::string& data);
  void ForwardBgException(const std::exception& e, bool& canClose);
  void ForwardSessionClosed(std::uint16_t error);

  TUpstreamGuard upstreamGuard_;
  TResolverPool* pool_ = nullptr;
  std::unique_ptr<TResolverPool> ownPool_;
  std::set<TLookupId> lookups_;  // cancelled when the gateway goes
  TGatewayListeners listeners_;
  TGatewayType gatewayType_ = gtPop3;
  bool active_ = false;
  bool destroying_ = false;
};

}  // namespace qb
