// The gateway's way to a login's mail server: the security the login asks
// (or TLS first), the lookup of both address families on the resolver pool,
// and the connection made by THappyEyeballs, whose winner the session's
// server socket adopts.
#include <arpa/inet.h>

#include "gateway/LoginSplit.h"
#include "gateway/MailGW.h"
#include "net/SocketRuntime.h"
#include "platform/SocketError.h"
#include "platform/SocketLibrary.h"

namespace qb {

namespace {

const std::string kImplicitTlsPort = "995";

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

// A login that names no port and no suffix tries implicit TLS on 995
// first; when nothing answers there in time, the login's default port
// follows with STLS when offered (and plain, told once, when not).
void TMailGateway::ChooseUpstream(TMailGWClient& client, TAsyncSocket& server,
                                  const TLoginTarget& target) {
  client.FallbackPort.clear();
  TUpstreamTls tls = target.Tls;
  if (gatewayType_ == gtPop3 && TriesTlsFirst(target.PortNamed, tls, server.Addr())) {
    client.FallbackPort = server.Port();
    server.SetPort(kImplicitTlsPort);
    tls = TUpstreamTls::utImplicit;
  }
  SecureUpstream(client, server, tls, false);
}

// The server's data reaches the application only through the connection's
// security step (gateway/UpstreamSecurity), which the socket's data handler
// owns: it lives exactly as long as the server connection.
void TMailGateway::SecureUpstream(TMailGWClient& client, TAsyncSocket& server, TUpstreamTls tls,
                                  bool tellPlain) {
  TUpstreamRequest request{ResolveUpstreamTls(tls, server.Port()), server.Addr(), StlsServersFile,
                           TlsHandshakeTimeout, tellPlain};
  auto security = std::make_shared<TUpstreamSecurity>(
      server, client, std::move(request), upstreamGuard_,
      [this, &server](std::string& data) { DeliverServerData(server, data); });
  server.OnDataAvailable = [this, security](TCustomAsyncSocket* socket, std::uint16_t) {
    ServerData(static_cast<TAsyncSocket&>(*socket), *security);
  };
  std::uint16_t port = 0;
  try {
    port = ntohs(SocketResolvePort(server.Port(), "tcp"));
  } catch (const ESocketException& e) {
    return RefuseLogin(client, "-ERR Cannot connect to the mail server " + server.Addr() + ": " +
                                   FirstLine(e.what()));
  }
  auto lookup = std::make_shared<TUpstreamLookup>();
  THappyEyeballs& connector =
      client.CreateConnector(port, [this, session = TSessionHandle(&client), socket = &server,
                                    security, lookup](int handle, const std::string& failure) {
        UpstreamConnected(session, socket, *security, handle, failure, *lookup);
      });
  if (!client.FallbackPort.empty()) connector.Limit = TlsFirstConnectLimit;
  ResolveThenConnect(client, server, lookup);
}

TResolverPool& TMailGateway::Resolvers() {
  if (pool_ == nullptr) {
    ownPool_ = std::make_unique<TResolverPool>(CurrentHostResolver(), 2);
    pool_ = ownPool_.get();
  }
  return *pool_;
}

// An address literal needs no lookup. A name is looked up for both
// families at once; each answer comes from the loop, when the session may
// have ended or a second login may have replaced this server connection.
void TMailGateway::ResolveThenConnect(TMailGWClient& client, TAsyncSocket& server,
                                      const std::shared_ptr<TUpstreamLookup>& lookup) {
  THappyEyeballs& connector = *client.Connector;
  Ipv6Address address6{};
  Ipv4Address address4{};
  if (inet_pton(AF_INET6, server.Addr().c_str(), address6.data()) == 1) {
    lookup->Found = true;
    connector.Ipv4Answer({});
    return connector.Ipv6Answer({address6});
  }
  if (inet_pton(AF_INET, server.Addr().c_str(), address4.data()) == 1) {
    lookup->Found = true;
    connector.Ipv6Answer({});
    return connector.Ipv4Answer({address4});
  }
  for (TLookupFamily family : {TLookupFamily::lfIPv6, TLookupFamily::lfIPv4}) {
    auto id = std::make_shared<TLookupId>(0);
    *id = Resolvers().Resolve(
        server.Addr(), LookupLimit,
        [this, id, lookup, family, session = TSessionHandle(&client),
         socket = &server](const TLookupResult& r) {
          lookups_.erase(*id);
          ServerNameResolved(session, socket, *lookup, family, r);
        },
        family);
    lookups_.insert(*id);
  }
}

void TMailGateway::ServerNameResolved(const TSessionHandle& session, TAsyncSocket* server,
                                      TUpstreamLookup& lookup, TLookupFamily family,
                                      const TLookupResult& result) {
  TMailGWClient* client = session.Get();
  if (client == nullptr || client->ServerSocket != server || client->State() == wsClosed) return;
  lookup.TimedOut = lookup.TimedOut || result.TimedOut;
  lookup.Found = lookup.Found || !result.Addresses.empty() || !result.Addresses6.empty();
  if (family == TLookupFamily::lfIPv6) return client->Connector->Ipv6Answer(result.Addresses6);
  client->Connector->Ipv4Answer(result.Addresses);
}

// The winner becomes the session's server connection; when none answered,
// a login trying TLS first goes on to its default port, any other is told
// why it cannot go on.
void TMailGateway::UpstreamConnected(const TSessionHandle& session, TAsyncSocket* server,
                                     TUpstreamSecurity& security, int handle,
                                     const std::string& failure, const TUpstreamLookup& lookup) {
  TMailGWClient* client = session.Get();
  bool current = client != nullptr && client->ServerSocket == server && client->State() != wsClosed;
  if (handle >= 0 && !current) winsock::closesocket(handle);
  if (!current) return;
  if (handle >= 0) {
    server->Dup(handle);
    return security.Begin();
  }
  if (!client->FallbackPort.empty() && lookup.Found)
    return FallBackFromImplicitTls(*client, *server);
  std::string refusal = "-ERR Cannot connect to the mail server " + server->Addr() + ": ";
  if (!lookup.Found && lookup.TimedOut) {
    return RefuseLogin(*client, refusal + "its name was not found in time");
  }
  if (!lookup.Found) return RefuseLogin(*client, refusal + "its name does not resolve");
  RefuseLogin(*client, refusal + failure);
}

void TMailGateway::FallBackFromImplicitTls(TMailGWClient& client, TAsyncSocket& previous) {
  TAsyncSocket& server = *client.CreateServerSocket();
  server.OnBgException = previous.OnBgException;
  server.OnSessionClosed = previous.OnSessionClosed;
  server.SetAddr(previous.Addr());
  server.SetPort(client.FallbackPort);
  client.FallbackPort.clear();
  SecureUpstream(client, server, TUpstreamTls::utAuto, true);
}

}  // namespace qb
