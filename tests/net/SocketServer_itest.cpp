#include "net/SocketServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "net/LoopbackPeer.h"

namespace qb {
namespace {

using test::ConnectPlain;
using test::Pump;
using test::ReadPlain;
using test::SendAll;

class SocketServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<TSocketServer>();
    server->SetAddr("127.0.0.1");
    server->SetPort("0");
    server->OnClientConnect = [this](TCustomSocketServer*, TSocketClient*, std::uint16_t) {
      ++connected;
    };
    server->OnClientCreate = [this](TCustomSocketServer*, TSocketClient*) { ++created; };
    server->OnClientDisconnect = [this](TCustomSocketServer*, TSocketClient*, std::uint16_t) {
      ++disconnected;
    };
  }
  void TearDown() override {
    for (int fd : plainClients) close(fd);
    server.reset();
    MessageLoop::Instance().ProcessMessages();
    EXPECT_EQ(MessageLoop::Instance().WindowCount(), 0u) << "every client was freed";
    EXPECT_EQ(MessageLoop::Instance().WatchCount(), 0u);
  }
  void Listen() {
    server->Listen();
    port = server->BoundPort();
  }
  // Connects a plain client and waits until the server has made its object.
  int ConnectClient() {
    int before = connected;
    int fd = ConnectPlain(port);
    plainClients.push_back(fd);
    EXPECT_TRUE(Pump([&] { return connected > before; }));
    return fd;
  }

  std::unique_ptr<TSocketServer> server;
  int port = 0;
  int created = 0, connected = 0, disconnected = 0;
  std::vector<int> plainClients;
};

TEST_F(SocketServerTest, GreetsEachClientWithTheBannerAndNamesItsClients) {
  server->Banner = "+OK POP3 Gateway ready";
  server->Name = "Srv";
  Listen();
  int first = ConnectClient();
  ConnectClient();
  EXPECT_EQ(ReadPlain(first, 24), "+OK POP3 Gateway ready\r\n");
  EXPECT_EQ(server->ClientCount(), 2);
  EXPECT_EQ(server->Clients(0)->Name, "SrvClient1");
  EXPECT_EQ(server->Clients(1)->Name, "SrvClient2");
  EXPECT_EQ(server->Clients(2), nullptr) << "Clients[ClientCount] is nil";
  EXPECT_EQ(server->Clients(-1), nullptr);
  EXPECT_EQ(server->Clients(0)->Server(), server.get());
}

TEST_F(SocketServerTest, TheClientBeyondTheLimitIsCreatedAnnouncedToldAndClosed) {
  server->Banner = "hello";
  server->MaxClients = 50;
  Listen();
  for (int i = 0; i < 50; ++i) ConnectClient();
  int refused = ConnectClient();
  EXPECT_EQ(created, 51);
  EXPECT_EQ(connected, 51);
  // Read late, after the server has closed it: the banner must still be there.
  ASSERT_TRUE(Pump([&] { return server->Clients(50)->State() == wsClosed; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  bool orderly = false;
  EXPECT_EQ(test::ReadToEnd(refused, orderly), "Sorry, too many clients\r\n");
  EXPECT_TRUE(orderly) << "the refusal is a proper close, not a reset that may discard the banner";
  ASSERT_TRUE(Pump([&] { return disconnected == 1; }));
  EXPECT_EQ(server->ClientCount(), 50);
}

TEST_F(SocketServerTest, AClosedClientAwaitingCleanUpStillCounts) {
  server->Banner = "hello";
  server->MaxClients = 1;
  Listen();
  ConnectClient();
  TSocketClient* first = server->Clients(0);
  // The first client closes just before the next one is accepted: its
  // clean-up message is still queued when the second one is counted.
  server->OnSessionAvailable = [first](TCustomAsyncSocket*, std::uint16_t) { first->Close(); };
  int second = ConnectClient();
  EXPECT_EQ(ReadPlain(second, 1000), "Sorry, too many clients\r\n");
}

TEST_F(SocketServerTest, NoLimitWhenMaxClientsIsZero) {
  server->Banner = "hi";
  Listen();
  for (int i = 0; i < 60; ++i) ConnectClient();
  EXPECT_EQ(ReadPlain(plainClients.back(), 4), "hi\r\n");
  EXPECT_EQ(server->ClientCount(), 60);
}

TEST_F(SocketServerTest, AnEmptyBannerSendsNothing) {
  server->Banner = "";
  Listen();
  int fd = ConnectClient();
  server->Clients(0)->SendString("first");
  EXPECT_EQ(ReadPlain(fd, 5), "first");
}

TEST_F(SocketServerTest, ACleanedUpClientStillTellsItsPeerAndIsFreedAfterItsHandlers) {
  server->Banner = "";
  std::string peerAtDisconnect;
  std::vector<std::string> order;
  server->OnClientConnect = [&](TCustomSocketServer*, TSocketClient* client, std::uint16_t) {
    ++connected;
    client->SetLineMode(true);
    client->OnDataAvailable = [&order](TCustomAsyncSocket* s, std::uint16_t) {
      std::string line = s->ReceiveString();
      if (line == "QUIT\r\n") {
        s->Close();
        // Still alive after closing itself inside its own handler.
        order.push_back("after close " + s->Name);
      }
    };
    client->OnSessionClosed = [&order](TCustomAsyncSocket* s, std::uint16_t) {
      order.push_back("closed " + s->Name);
    };
  };
  server->OnClientDisconnect = [&](TCustomSocketServer*, TSocketClient* client, std::uint16_t) {
    peerAtDisconnect = client->GetPeerAddr();
    order.push_back("disconnect " + client->Name);
    ++disconnected;
  };
  Listen();
  int fd = ConnectClient();
  SendAll(fd, "QUIT\r\n");
  ASSERT_TRUE(Pump([&] { return disconnected == 1; }));
  EXPECT_EQ(peerAtDisconnect, "127.0.0.1");
  EXPECT_EQ(order, (std::vector<std::string>{"closed Client1", "after close Client1",
                                             "disconnect Client1"}));
  EXPECT_EQ(server->ClientCount(), 0);
}

TEST_F(SocketServerTest, DestroyingTheServerFreesEveryRemainingClient) {
  Listen();
  for (int i = 0; i < 5; ++i) ConnectClient();
  server.reset();
  EXPECT_EQ(MessageLoop::Instance().WindowCount(), 0u);
  EXPECT_EQ(ReadPlain(plainClients[0], 1000), "Welcome to the server\r\n");
}

}  // namespace
}  // namespace qb
