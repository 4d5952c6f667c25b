// TSocketServer: a listening socket that turns each incoming connection into
// a client object of a configurable class, greets it with a banner (or turns
// it away with BannerTooBusy beyond MaxClients), and frees it some time after
// its connection has closed, through a posted message, never inside the
// client's own events. The server owns its clients; destroying the server
// frees those still listed.
//
// The listen backlog is the system's maximum, so clients that connect while
// the program is busy wait in the queue instead of being dropped. When
// accept fails for lack of descriptors, the server stops accepting for
// AcceptBackOff (a timer) and tries again, instead of being told of the same
// waiting connection at once, for ever; it says so once on standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"

namespace qb {

class TCustomSocketServer;

class TSocketClient : public TAsyncSocket {
 public:
  std::string Banner;
  TCustomSocketServer* Server() const { return server_; }

  // The peer captured when the connection was adopted: still readable after
  // the connection has closed.
  std::string GetPeerAddr() override { return peerAddr_; }
  std::string GetPeerPort() override { return peerPort_; }

  void Dup(int handle) override;
  // Sends the banner, if there is one.
  void StartConnection();

 protected:
  void TriggerSessionClosed(std::uint16_t errCode) override;

 private:
  friend class TCustomSocketServer;
  TCustomSocketServer* server_ = nullptr;
  std::string peerAddr_ = "error";
  std::string peerPort_ = "error";
  bool closedPosted_ = false;
};

using TSocketClientFactory = std::function<std::unique_ptr<TSocketClient>()>;
using TSocketClientCreateEvent =
    std::function<void(TCustomSocketServer* sender, TSocketClient* client)>;
using TSocketClientConnectEvent =
    std::function<void(TCustomSocketServer* sender, TSocketClient* client, std::uint16_t error)>;

class TCustomSocketServer : public TAsyncSocket {
 public:
  TCustomSocketServer();
  ~TCustomSocketServer() override;

  std::string Banner = "Welcome to the server";
  std::string BannerTooBusy = "Sorry, too many clients";
  // Makes the client objects; plain TSocketClient objects by default.
  TSocketClientFactory ClientClass;
  int MaxClients = 0;  // 0: no limit
  std::chrono::milliseconds AcceptBackOff{1000};

  TSocketClientCreateEvent OnClientCreate;
  TSocketClientConnectEvent OnClientConnect;
  TSocketClientConnectEvent OnClientDisconnect;

  int ClientCount() const { return static_cast<int>(clients_.size()); }
  // The i-th client, or nullptr outside 0 .. ClientCount() - 1.
  TSocketClient* Clients(int index) const;
  bool IsClient(const TSocketClient* client) const;
  bool AcceptPaused() const { return acceptPaused_; }

 protected:
  LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) override;
  void TriggerSessionAvailable(std::uint16_t errCode) override;

 private:
  void AcceptClient();
  void CleanUpClient(TSocketClient* client, std::uint16_t error);
  void TurnAwayBusy(TSocketClient& client);
  bool OutOfDescriptors() const;
  void PauseAccepting();
  void ResumeAccepting();

  std::vector<std::unique_ptr<TSocketClient>> clients_;
  int acceptCount_ = 0;
  bool acceptPaused_ = false;
  bool backOffTold_ = false;
};

class TSocketServer : public TCustomSocketServer {};

}  // namespace qb
