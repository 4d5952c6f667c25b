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

#include "gateway/UpstreamSecurity.h"
#include "net/AsyncSocket.h"
#include "net/SocketServer.h"
#include "platform/ResolverPool.h"

namespace qb {

enum TGatewayType : std::uint8_t { gtPop3, gtSmtp };
enum TClientState : std::uint8_t { csWaitingLogin, csRelaying };

class TMailGateway;

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

  // A handle that tells whether this session still exists.
  std::weak_ptr<void> Lifetime() const { return lifetime_; }

  // Creates the next server connection, owned by the session and paired
  // with it for flow control (the one socket's queue above its bound holds
  // the other's reads). An earlier one lives on until the session is freed.
  TAsyncSocket* CreateServerSocket();

  // Ends the session after what has been sent so far has reached the
  // system: the close is graceful (no reset that could discard a last
  // "-ERR"), and it waits for the send queue to drain.
  void EndSession();

 private:
  std::vector<std::unique_ptr<TAsyncSocket>> serverSockets_;
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
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
  // The mail client's connection of a session closed; its server connection
  // is closed right after, without a QUIT, so nothing is committed.
  TMailGatewaySessionEvent OnClientClosed;

  // Starts listening. Returns "" on success (or when the configuration check
  // failed and was shown), else the socket layer's message.
  std::string Open();
  void Close();
  void CloseSessions();
  bool Active() const { return active_; }
  TSocketServer& ListenSocket() { return *listenSocket_; }

 private:
  void ConfigureListener();
  void SetUpSession(TMailGWClient& client);
  void ClientLine(TMailGWClient& client);
  void Login(TMailGWClient& client, const std::string& data);
  void ServerClosed(TAsyncSocket& server, std::uint16_t error);
  void ClientClosed(TMailGWClient& client, std::uint16_t error);
  void RefuseLogin(TMailGWClient& client, const std::string& reason);
  void SecureUpstream(TMailGWClient& client, TAsyncSocket& server, TUpstreamTls tls);
  void ResolveThenConnect(TMailGWClient& client, TAsyncSocket& server);
  void ServerNameResolved(const TSessionHandle& session, TAsyncSocket* server,
                          const TLookupResult& result);
  void ConnectUpstream(TMailGWClient& client, TAsyncSocket& server);
  TResolverPool& Resolvers();
  void ServerData(TAsyncSocket& server, TUpstreamSecurity& security);
  void DeliverServerData(TAsyncSocket& server, std::string& data);
  void ForwardBgException(const std::exception& e, bool& canClose);
  void ForwardSessionClosed(std::uint16_t error);

  TUpstreamGuard upstreamGuard_;
  TResolverPool* pool_ = nullptr;
  std::unique_ptr<TResolverPool> ownPool_;
  std::set<TLookupId> lookups_;  // cancelled when the gateway goes
  std::unique_ptr<TSocketServer> listenSocket_;
  TGatewayType gatewayType_ = gtPop3;
  bool active_ = false;
  bool destroying_ = false;
};

}  // namespace qb
