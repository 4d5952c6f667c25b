// How the gateway secures its connection to the mail server before the
// application sees anything of it.
//
// The server part of a login may end in "/tls" (implicit TLS), "/starttls"
// (STLS required) or "/plain" (no TLS, the user's explicit choice). Without
// a suffix, port 995 means implicit TLS; any other port means STLS when the
// server's CAPA lists it, and plain only when it does not, unless the server
// has been seen offering STLS before: such a server is remembered, and
// plain is refused with it from then on (a stripped CAPA gets nothing).
//
// A login without a port and a suffix to a server that is not this machine
// tries implicit TLS on 995 first, then its default port as above; a plain
// session that comes of it is told to the user once per server.
//
// Until the connection is secured as asked, nothing of the server's reaches
// the application (it would answer the greeting with the login). A failure
// never falls back: the mail client gets "-ERR [SYS/PERM] TLS: <reason>
// (<server>)", its session closes, and the user is shown the reason once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/SocketServer.h"

namespace qb {

enum class TUpstreamTls : std::uint8_t { utAuto, utImplicit, utStartTls, utPlain };

// Takes a trailing "/tls", "/starttls" or "/plain" (any letter case) off the
// server part of a login and returns what it asks; utAuto without one.
TUpstreamTls TakeSecuritySuffix(std::string& serverPart);

// The mode for a connection to `port`: the asked one, or for utAuto on port
// 995 ("pop3s") implicit TLS.
TUpstreamTls ResolveUpstreamTls(TUpstreamTls asked, const std::string& port);

// Whether the host is this machine ("localhost", 127.0.0.0/8, ::1).
bool IsLoopbackHost(const std::string& host);

// Whether a login tries implicit TLS on 995 before its default port: it
// names no port and no suffix, and its server is not this machine (local
// servers and the tests keep the plain default).
bool TriesTlsFirst(bool portNamed, TUpstreamTls asked, const std::string& host);

// What the gateway keeps across sessions: the servers seen offering STLS (in
// a file when one is named, else for the gateway's life), and the failures
// already shown to the user. A failure is shown from a posted message,
// after the socket event that found it has returned, and a text that has
// been shown once is not shown again.
class TUpstreamGuard {
 public:
  TUpstreamGuard();
  ~TUpstreamGuard();
  TUpstreamGuard(const TUpstreamGuard&) = delete;
  TUpstreamGuard& operator=(const TUpstreamGuard&) = delete;

  // The servers seen with TLS (offering STLS, or on implicit TLS), kept
  // under the name the login connected to.
  bool OffersStls(const std::string& file, const std::string& host);
  void RememberStls(const std::string& file, const std::string& host);
  void ShowOnce(const std::string& text);
  // A login that tried TLS first ends up in plain: OnPlainLogin hears of it
  // once per server.
  void TellPlainOnce(const std::string& host);
  std::function<void(const std::string& host)> OnPlainLogin;

 private:
  void ShowQueued();

  HWND window_ = 0;
  std::set<std::string> remembered_;  // when no file is named
  std::vector<std::string> queued_;
  std::set<std::string> shown_;
  std::set<std::string> toldPlain_;
};

struct TUpstreamRequest {
  TUpstreamTls Tls = TUpstreamTls::utAuto;  // resolved: never utAuto on port 995
  std::string Host;                         // as the login names it: SNI and certificate check
  std::string StlsServersFile;
  std::chrono::milliseconds HandshakeTimeout{30000};
  bool TellPlain = false;  // TLS was tried first: a plain session is told once
};

// One server connection's way to a secured session, driven by the server
// data the gateway reads and by the TLS layer's handshake event.
class TUpstreamSecurity {
 public:
  using TDeliver = std::function<void(std::string& data)>;

  // `deliver` hands data to the application outside the server-data step
  // (the greeting, once STLS has secured the connection).
  TUpstreamSecurity(TAsyncSocket& server, TSocketClient& client, TUpstreamRequest request,
                    TUpstreamGuard& guard, TDeliver deliver);
  TUpstreamSecurity(const TUpstreamSecurity&) = delete;
  TUpstreamSecurity& operator=(const TUpstreamSecurity&) = delete;

  // Before Connect: implicit TLS begins its handshake once connected.
  void Begin();
  // The server-data step: true when `data` (possibly replaced) is for the
  // application, false while the connection is being secured or has failed.
  bool Admit(std::string& data);

 private:
  enum TStep { usGreeting, usCapa, usStlsReply, usHandshake, usPassing, usFailed };

  bool GreetingArrived(std::string& data);
  bool CapaArrived(std::string& data);
  void StlsReplyArrived();
  bool WithoutStls(std::string& data);
  void SendStls();
  void TlsDone(const std::string& failure);
  void Fail(const std::string& reason);
  bool TakeLine(std::string& line);

  TAsyncSocket& server_;
  TSocketClient& client_;
  TUpstreamRequest request_;
  TUpstreamGuard& guard_;
  TDeliver deliver_;
  TStep step_ = usGreeting;
  std::string received_;  // the server's reply being gathered
  std::string greeting_;
};

}  // namespace qb
