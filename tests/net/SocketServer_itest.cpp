#include "net/SocketServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/SocketError.h"
#include "support/LoopbackPeer.h"
#include "support/PumpUntil.h"
#include "support/UnchangedCounter.h"

namespace qb {
namespace {

using test::ConnectToLoopback;
using test::PumpUntil;
using test::ReadPlain;
using test::SendAll;
using test::UniqueFd;
using namespace std::chrono_literals;

// Connections opened without waiting for the server to accept them; each
// counts as established once its handshake is done (it sits in the listen
// queue).
std::vector<UniqueFd> ConnectWithoutWaiting(int port, int count, int& established) {
  std::vector<UniqueFd> fds;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  for (int i = 0; i < count; ++i) {
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    fds.push_back(std::move(fd));
  }
  established = 0;
  auto deadline = std::chrono::steady_clock::now() + 2s;
  for (const UniqueFd& fd : fds) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd.Get(), POLLOUT, 0};
    int error = -1;
    socklen_t length = sizeof error;
    if (poll(&p, 1, static_cast<int>(std::max(left, 0ms).count())) == 1 &&
        getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
      ++established;
    }
  }
  return fds;
}

// The first line each descriptor receives, read while the loop turns.
std::vector<std::string> FirstLines(const std::vector<UniqueFd>& fds) {
  std::vector<std::string> lines(fds.size());
  PumpUntil([&] {
    bool all = true;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      char buffer[256];
      while (lines[i].find('\n') == std::string::npos) {
        ssize_t n = recv(fds[i].Get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) break;
        lines[i].append(buffer, static_cast<std::size_t>(n));
      }
      all = all && lines[i].find('\n') != std::string::npos;
    }
    return all;
  });
  return lines;
}

// While alive, the process may open no further descriptor: the soft limit
// is lowered ("ulimit -n 64", or just above the highest descriptor open) and
// the free numbers below it are taken.
class DescriptorsExhausted {
 public:
  DescriptorsExhausted() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(std::max(64, highest + 2));
    setrlimit(RLIMIT_NOFILE, &lowered);
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers_.push_back(fd);
  }
  ~DescriptorsExhausted() {
    for (int fd : fillers_) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorsExhausted(const DescriptorsExhausted&) = delete;
  DescriptorsExhausted& operator=(const DescriptorsExhausted&) = delete;

 private:
  rlimit saved_{};
  std::vector<int> fillers_;
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

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
    plainClients.clear();
    server.reset();
    MessageLoop::Instance().ProcessMessages();
    EXPECT_EQ(MessageLoop::Instance().WindowCount(), 0u) << "every client was freed";
    EXPECT_EQ(MessageLoop::Instance().WatchCount(), 0u);
    dropped.Check();
  }
  void Listen() {
    server->Listen();
    port = server->BoundPort();
  }
  // Connects a plain client (kept open until the test ends) and waits until
  // the server has made its object; its descriptor.
  int ConnectClient() {
    int before = connected;
    plainClients.push_back(ConnectToLoopback(static_cast<std::uint16_t>(port)));
    EXPECT_TRUE(PumpUntil([&] { return connected > before; }));
    return plainClients.back().Get();
  }

  std::unique_ptr<TSocketServer> server;
  int port = 0;
  int created = 0, connected = 0, disconnected = 0;
  std::vector<UniqueFd> plainClients;
  test::UnchangedCounter dropped{"exceptions dropped by a receive loop",
                                 &TCustomAsyncSocket::DroppedExceptions};
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
  ASSERT_TRUE(PumpUntil([&] { return server->Clients(50)->State() == wsClosed; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  bool orderly = false;
  EXPECT_EQ(test::ReadToEnd(refused, orderly), "Sorry, too many clients\r\n");
  EXPECT_TRUE(orderly) << "the refusal is a proper close, not a reset that may discard the banner";
  ASSERT_TRUE(PumpUntil([&] { return disconnected == 1; }));
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
  EXPECT_EQ(ReadPlain(plainClients.back().Get(), 4), "hi\r\n");
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
  ASSERT_TRUE(PumpUntil([&] { return disconnected == 1; }));
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
  EXPECT_EQ(ReadPlain(plainClients[0].Get(), 1000), "Welcome to the server\r\n");
}

TEST_F(SocketServerTest, ClientsThatConnectWhileTheProgramIsBusyWaitInTheQueueAndAreAllGreeted) {
  server->Banner = "hello";
  server->MaxClients = 50;
  Listen();
  // The loop does not turn while they connect, as when a handler is busy.
  int established = 0;
  plainClients = ConnectWithoutWaiting(port, 200, established);
  EXPECT_EQ(established, 200) << "every connection fits in the listen queue";
  std::vector<std::string> lines = FirstLines(plainClients);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "hello\r\n"), 50);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Sorry, too many clients\r\n"), 150)
      << "the clients beyond the limit are still turned away";
}

// Whether a connection on the local port sits in TIME_WAIT (state 06 in
// /proc/net/tcp, the port in hex after the address).
bool InTimeWait(int port) {
  std::ifstream table("/proc/net/tcp");
  char suffix[8];
  std::snprintf(suffix, sizeof suffix, ":%04X", port);
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local.ends_with(suffix) && state == "06") return true;
  }
  return false;
}

// A restart right after the listener closed connections of its own gets
// the port again; a second listener while one listens does not.
TEST_F(SocketServerTest, AListenerReusesAPortHeldByClosedConnectionsButNeverSharesIt) {
  Listen();
  ConnectClient();
  // A graceful close, as the gateway's sessions end, and the server's first:
  // its side of the connection waits (TIME_WAIT).
  TSocketClient& client = *server->Clients(0);
  client.LingerOnOff = wsLingerOff;
  client.ApplyLinger();
  client.Close();
  char buffer[256];
  ASSERT_TRUE(PumpUntil([&] {
    return recv(plainClients[0].Get(), buffer, sizeof buffer, MSG_DONTWAIT) == 0;
  })) << "the client is told of the close";
  plainClients.clear();
  ASSERT_TRUE(PumpUntil([&] { return InTimeWait(port); }));
  auto again = [this] {
    auto listener = std::make_unique<TSocketServer>();
    listener->SetAddr("127.0.0.1");
    listener->SetPort(std::to_string(port));
    try {
      listener->Listen();
    } catch (const ESocketException&) {
    }
    return listener;
  };
  EXPECT_NE(again()->State(), wsListening) << "the port is still listened on";
  server.reset();
  std::unique_ptr<TSocketServer> restarted = again();
  EXPECT_EQ(restarted->State(), wsListening) << "a closed connection held the port";
  EXPECT_NE(again()->State(), wsListening) << "two listeners on one port";
}

TEST_F(SocketServerTest, WithoutFreeDescriptorsTheListenerBacksOffInsteadOfSpinning) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer needs free descriptors of its own to report anything";
#endif
  server->Banner = "hello";
  server->AcceptBackOff = 500ms;
  // As the gateway's listener: a failure in the notification keeps it listening.
  server->OnBgException = [](TCustomAsyncSocket*, const std::exception&, bool& canClose) {
    canClose = false;
  };
  int attempts = 0;
  server->OnSessionAvailable = [&](TCustomAsyncSocket*, std::uint16_t) { ++attempts; };
  Listen();
  int established = 0;
  plainClients = ConnectWithoutWaiting(port, 5, established);
  ASSERT_EQ(established, 5);
  ::testing::internal::CaptureStderr();
  {
    DescriptorsExhausted exhausted;
    // A spinning listener is told of the waiting connection on every turn.
    constexpr int kTurns = 200;
    test::PumpTurns(kTurns, std::chrono::milliseconds(5));
    EXPECT_GE(attempts, 1);
    EXPECT_LE(attempts, 20) << "accept was tried on " << attempts << " of " << kTurns << " turns";
  }
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Occurrences(said, "Too many open files"), 1u) << said;
  // Descriptors are free again: the waiting clients are accepted and greeted.
  std::vector<std::string> lines = FirstLines(plainClients);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "hello\r\n"), 5);
  EXPECT_EQ(server->ClientCount(), 5);
}

}  // namespace
}  // namespace qb
