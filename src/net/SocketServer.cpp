#include "net/SocketServer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

#include "net/SocketRuntime.h"
#include "platform/SocketError.h"
#include "platform/WinsockErrors.h"

namespace qb {

namespace {

constexpr WPARAM kAcceptBackOffTimer = 1;

}  // namespace

// ---- TSocketClient ------------------------------------------------------------

void TSocketClient::Dup(int handle) {
  TAsyncSocket::Dup(handle);
  peerAddr_ = TAsyncSocket::GetPeerAddr();
  peerPort_ = TAsyncSocket::GetPeerPort();
}

void TSocketClient::StartConnection() {
  if (!Banner.empty()) SendString(Banner + LineEnd);
}

// The server is told once, by a posted message, and frees the client when
// that message comes; the line layer then hands over a final unterminated
// line and OnSessionClosed fires.
void TSocketClient::TriggerSessionClosed(std::uint16_t errCode) {
  if (closedPosted_) return;
  closedPosted_ = true;
  if (server_) {
    MessageLoop::Instance().PostMessage(server_->Handle(), WM_CLIENT_CLOSED, errCode,
                                        reinterpret_cast<LPARAM>(this));
  }
  TAsyncSocket::TriggerSessionClosed(errCode);
}

// ---- TCustomSocketServer --------------------------------------------------------

TCustomSocketServer::TCustomSocketServer() {
  ListenBacklog = SOMAXCONN;
  ClientClass = [] { return std::make_unique<TSocketClient>(); };
}

TCustomSocketServer::~TCustomSocketServer() {
  while (!clients_.empty()) {
    try {
      clients_.pop_back();
    } catch (...) {
    }
  }
}

TSocketClient* TCustomSocketServer::Clients(int index) const {
  if (index < 0 || index >= ClientCount()) return nullptr;
  return clients_[static_cast<std::size_t>(index)].get();
}

bool TCustomSocketServer::IsClient(const TSocketClient* client) const {
  return std::any_of(clients_.begin(), clients_.end(),
                     [client](const auto& owned) { return owned.get() == client; });
}

LRESULT TCustomSocketServer::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kAcceptBackOffTimer) {
    ResumeAccepting();
    return 0;
  }
  if (msg != WM_CLIENT_CLOSED) return TAsyncSocket::WndProc(msg, wParam, lParam);
  CleanUpClient(reinterpret_cast<TSocketClient*>(lParam), static_cast<std::uint16_t>(wParam));
  return 0;
}

// The client is freed even if the handler raised; the exception then goes to
// the server's background-exception handling.
void TCustomSocketServer::CleanUpClient(TSocketClient* client, std::uint16_t error) {
  auto owned = std::find_if(clients_.begin(), clients_.end(),
                            [client](const auto& c) { return c.get() == client; });
  if (owned == clients_.end()) return;
  struct FreeOnExit {
    TCustomSocketServer* server;
    TSocketClient* client;
    ~FreeOnExit() {
      std::erase_if(server->clients_, [this](const auto& c) { return c.get() == client; });
    }
  } freeOnExit{this, client};
  if (OnClientDisconnect) OnClientDisconnect(this, client, error);
}

void TCustomSocketServer::TriggerSessionAvailable(std::uint16_t errCode) {
  TAsyncSocket::TriggerSessionAvailable(errCode);
  if (errCode != 0) return;
  AcceptClient();
}

void TCustomSocketServer::AcceptClient() {
  int handle = -1;
  try {
    handle = Accept();
  } catch (const ESocketException&) {
    if (!OutOfDescriptors()) throw;
  }
  if (handle < 0) {
    if (OutOfDescriptors()) PauseAccepting();
    return;
  }
  ++acceptCount_;
  clients_.push_back(ClientClass());
  TSocketClient* client = clients_.back().get();
  if (OnClientCreate) OnClientCreate(this, client);
  client->Name = Name + "Client" + std::to_string(acceptCount_);
  client->Banner = Banner;
  client->server_ = this;
  client->Dup(handle);
  if (OnClientConnect) OnClientConnect(this, client, 0);
  if (!IsClient(client) || client->State() != wsConnected) return;
  if (MaxClients > 0 && ClientCount() > MaxClients) {
    TurnAwayBusy(*client);
  } else {
    client->StartConnection();
  }
}

// EMFILE and ENFILE both read as "Too many open files"; ENOBUFS is the
// same lack of resources in the kernel.
bool TCustomSocketServer::OutOfDescriptors() const {
  return LastError() == WSAEMFILE || LastError() == WSAENOBUFS;
}

// The connection stays in the listen queue; it is accepted when the timer
// turns accepting back on and a descriptor is free.
void TCustomSocketServer::PauseAccepting() {
  if (!backOffTold_) {
    backOffTold_ = true;
    std::fprintf(stderr,
                 "Too many open files: new connections wait and are accepted when descriptors "
                 "are free (tried again every %lld ms)\n",
                 static_cast<long long>(AcceptBackOff.count()));
  }
  acceptPaused_ = true;
  SelectAccept(false);
  MessageLoop::Instance().SetTimer(Handle(), kAcceptBackOffTimer, AcceptBackOff);
}

void TCustomSocketServer::ResumeAccepting() {
  MessageLoop::Instance().KillTimer(Handle(), kAcceptBackOffTimer);
  acceptPaused_ = false;
  if (State() == wsListening) SelectAccept(true);
}

// The refused client must really receive its busy banner. With the default
// linger (on, timeout 0) the close resets the connection, and a reset can
// discard the banner before the client has read it; this close is graceful.
void TCustomSocketServer::TurnAwayBusy(TSocketClient& client) {
  client.Banner = BannerTooBusy;
  client.StartConnection();
  client.LingerOnOff = wsLingerOff;
  client.ApplyLinger();
  client.Close();
}

}  // namespace qb
