#include "gateway/GatewayListeners.h"

#include "platform/SocketError.h"
#include "platform/WinsockErrors.h"

namespace qb {

namespace {

std::string OneLine(const std::string& text) {
  std::string line = text.substr(0, text.find_first_of("\r\n"));
  std::size_t rest = text.find_first_not_of("\r\n", line.size());
  return rest == std::string::npos ? line : line + ": " + text.substr(rest);
}

// The address the machine does not have: another listener may go on.
bool AddressMissing(int error) {
  return error == WSAEADDRNOTAVAIL || error == WSAEAFNOSUPPORT || error == WSAEPFNOSUPPORT;
}

std::string Where(const std::string& addr, const std::string& port) {
  return (addr.find(':') != std::string::npos ? "[" + addr + "]" : addr) + ":" + port;
}

}  // namespace

TGatewayListeners::TGatewayListeners(TConfigure configure)
    : configure_(std::move(configure)), primary_(std::make_unique<TSocketServer>()) {
  configure_(*primary_, false);
}

TSocketServer& TGatewayListeners::Extra(bool implicitTls) {
  extras_.push_back(std::make_unique<TSocketServer>());
  configure_(*extras_.back(), implicitTls);
  return *extras_.back();
}

bool TGatewayListeners::Listen(TSocketServer& listener, const std::string& addr,
                               const std::string& port, std::string& error) {
  try {
    listener.SetAddr(addr);
    listener.SetPort(port);
    listener.Listen();
    return true;
  } catch (const ESocketException& e) {
    error = e.what();
    return false;
  }
}

std::string TGatewayListeners::Open(const TListenPlan& plan, std::vector<std::string>& notices) {
  // Listeners of an earlier opening have closed; their clients are gone.
  extras_.clear();
  tlsListener_ = nullptr;
  configure_(*primary_, false);
  std::string error, error6;
  bool listening = Listen(*primary_, plan.Addr, plan.Port, error);
  if (!listening && (plan.Addr6.empty() || !AddressMissing(primary_->LastError()))) return error;
  // Port "0" takes one from the system: the IPv6 listener shares it.
  std::string port = listening ? std::to_string(primary_->BoundPort()) : plan.Port;
  bool listening6 = !plan.Addr6.empty() && Listen(Extra(false), plan.Addr6, port, error6);
  if (!listening && !listening6) return error;
  if (!listening)
    notices.push_back("Not listening on " + Where(plan.Addr, port) + ": " + OneLine(error));
  if (!plan.Addr6.empty() && !listening6) {
    notices.push_back("Not listening on " + Where(plan.Addr6, port) + ": " + OneLine(error6));
  }
  if (plan.TlsPort.empty()) return "";
  for (const std::string& addr : {plan.Addr, plan.Addr6}) {
    if (addr.empty()) continue;
    std::string tlsPort = tlsListener_ ? std::to_string(tlsListener_->BoundPort()) : plan.TlsPort;
    TSocketServer& listener = Extra(true);
    if (Listen(listener, addr, tlsPort, error)) {
      if (!tlsListener_) tlsListener_ = &listener;
    } else {
      notices.push_back("Not listening for TLS on " + Where(addr, tlsPort) + ": " + OneLine(error));
    }
  }
  return "";
}

void TGatewayListeners::CloseSessions(bool keepListening) {
  for (TSocketServer* listener : All()) {
    for (int i = 0; i < listener->ClientCount(); ++i) listener->Clients(i)->Close();
    if (!keepListening) listener->Close();
  }
}

int TGatewayListeners::TlsBoundPort() const {
  return tlsListener_ && tlsListener_->State() == wsListening ? tlsListener_->BoundPort() : 0;
}

std::vector<TSocketServer*> TGatewayListeners::All() const {
  std::vector<TSocketServer*> all{primary_.get()};
  for (const auto& extra : extras_) all.push_back(extra.get());
  return all;
}

}  // namespace qb
