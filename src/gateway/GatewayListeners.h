// The gateway's listening sockets: the POP3 port on the IPv4 and the IPv6
// loopback address (one port for both), and, when the local leg has a
// certificate, the implicit-TLS port on both. A machine may lack either
// address: a listener that cannot have its address is noted and the others
// go on; only when no plain listener listens does the opening fail.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/SocketServer.h"

namespace qb {

struct TListenPlan {
  std::string Addr;   // IPv4, as today ("127.0.0.1")
  std::string Addr6;  // IPv6 ("::1"); "" for none
  std::string Port;
  std::string TlsPort;  // implicit TLS; "" for none
};

class TGatewayListeners {
 public:
  // Sets up a listener's clients and events; `implicitTls` for the TLS port.
  using TConfigure = std::function<void(TSocketServer& listener, bool implicitTls)>;

  explicit TGatewayListeners(TConfigure configure);
  TGatewayListeners(const TGatewayListeners&) = delete;
  TGatewayListeners& operator=(const TGatewayListeners&) = delete;

  // The IPv4 POP3 listener; it exists before Open.
  TSocketServer& Primary() { return *primary_; }
  // Returns "" when a plain listener listens, else the primary's message;
  // each listener that could not listen adds a line to `notices`.
  std::string Open(const TListenPlan& plan, std::vector<std::string>& notices);
  // Closes every session, and the listeners unless `keepListening`.
  void CloseSessions(bool keepListening);
  // The port the implicit-TLS listener got (0 when it does not listen).
  int TlsBoundPort() const;
  // Every listener, the primary first.
  std::vector<TSocketServer*> All() const;

 private:
  bool Listen(TSocketServer& listener, const std::string& addr, const std::string& port,
              std::string& error);
  TSocketServer& Extra(bool implicitTls);

  TConfigure configure_;
  std::unique_ptr<TSocketServer> primary_;
  std::vector<std::unique_ptr<TSocketServer>> extras_;
  TSocketServer* tlsListener_ = nullptr;
};

}  // namespace qb
