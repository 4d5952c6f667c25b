// The gateway on both address families: mail clients over ::1, servers that
// listen only on ::1, a name whose IPv6 address leads nowhere (its IPv4
// address must win within the attempt delay), and IPv6 literals in a login.
// Each test is skipped, with the reason, on a machine without ::1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "gateway/MailGW.h"
#include "platform/MessageLoop.h"
#include "support/GatedResolver.h"
#include "support/LoopbackPeer.h"
#include "support/PumpUntil.h"
#include "support/ScopedInstall.h"

namespace qb {
namespace {

using test::PumpUntil;
using test::ReadPlain;
using test::SendAll;
using test::UniqueFd;

const Ipv6Address kLoopback6{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

sockaddr_in6 Loopback6(std::uint16_t port) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  address.sin6_port = htons(port);
  return address;
}

// A listener on [::1]:port (0: any), or an invalid one where ::1 is missing.
UniqueFd ListenOn6(std::uint16_t& port, int backlog) {
  UniqueFd fd(socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_in6 address = Loopback6(port);
  socklen_t length = sizeof address;
  if (!fd.Valid() || bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(fd.Get(), backlog) != 0 ||
      getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return UniqueFd();
  }
  port = ntohs(address.sin6_port);
  return fd;
}

UniqueFd AcceptWhilePumping(int listener) {
  int accepted = -1;
  PumpUntil([&] { return (accepted = accept(listener, nullptr, nullptr)) >= 0; },
            std::chrono::seconds(5));
  return UniqueFd(accepted);
}

class Ipv6GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::uint16_t probe = 0;
    if (!ListenOn6(probe, 1).Valid()) GTEST_SKIP() << "this machine has no ::1";
    gateway.Addr = "127.0.0.1";
    gateway.Addr6 = "::1";
    gateway.Port = "0";
    gateway.OnClientConnect = [this](TMailGateway*, TMailGWClient* client) { last = client; };
    ASSERT_EQ(gateway.Open(), "");
    EXPECT_TRUE(gateway.ListenNotices.empty());
  }
  void TearDown() override {
    gateway.CloseSessions();
    MessageLoop::Instance().ProcessMessages();
  }
  std::uint16_t Port() { return static_cast<std::uint16_t>(gateway.ListenSocket().BoundPort()); }
  // A mail client over ::1 that has read the greeting and sent `line`.
  UniqueFd LogIn(const std::string& line) {
    UniqueFd client(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 address = Loopback6(Port());
    EXPECT_EQ(connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(ReadPlain(client.Get(), 24), "+OK POP3 Gateway ready\r\n");
    SendAll(client.Get(), line + "\r\n");
    return client;
  }

  test::GatedResolver names;
  test::ScopedInstall<IHostResolver> installedNames{InstallHostResolver, &names};
  TMailGateway gateway;
  TMailGWClient* last = nullptr;
};

TEST_F(Ipv6GatewayTest, AClientOverIpv6ReachesAServerThatListensOnlyThere) {
  std::uint16_t port = 0;
  UniqueFd server = ListenOn6(port, 8);
  struct Case {
    std::string Login;
  } cases[] = {{"USER a#v6only.test:" + std::to_string(port)},
               {"USER a#[::1]:" + std::to_string(port)}};
  names.Answer6("v6only.test", {kLoopback6});
  for (const Case& c : cases) {
    UniqueFd client = LogIn(c.Login);
    UniqueFd upstream = AcceptWhilePumping(server.Get());
    ASSERT_TRUE(upstream.Valid()) << c.Login;
    ASSERT_TRUE(PumpUntil([&] { return last->ServerSocket->State() == wsConnected; },
                          std::chrono::seconds(2)));
    EXPECT_EQ(last->ServerSocket->GetPeerAddr(), "::1") << c.Login;
    EXPECT_EQ(last->GetPeerAddr(), "::1") << "the client came over IPv6";
  }
}

// The IPv6 address takes connections into a full queue and never completes
// them; the IPv4 one answers. The IPv4 attempt starts a quarter of a second
// later and wins; the IPv6 attempt is closed.
TEST_F(Ipv6GatewayTest, AnIpv6AddressThatLeadsNowhereLosesToIpv4) {
  test::PlainListener v4;
  auto port = static_cast<std::uint16_t>(v4.Port());
  UniqueFd nowhere = ListenOn6(port, 0);
  ASSERT_TRUE(nowhere.Valid()) << "[::1]:" << port << " is taken";
  UniqueFd filler(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in6 address = Loopback6(port);
  ASSERT_EQ(connect(filler.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  names.Answer6("both.test", {kLoopback6});
  names.Answer("both.test", {{127, 0, 0, 1}});

  UniqueFd client = LogIn("USER a#both.test:" + std::to_string(port));
  UniqueFd upstream = v4.Accept(std::chrono::seconds(5));
  ASSERT_TRUE(upstream.Valid());
  ASSERT_TRUE(PumpUntil([&] { return last->ServerSocket->State() == wsConnected; },
                        std::chrono::seconds(2)));
  EXPECT_EQ(last->ServerSocket->GetPeerAddr(), "127.0.0.1");
  EXPECT_EQ(last->Connector->Attempts(), (std::vector<std::string>{"v6", "v4"}));
}

}  // namespace
}  // namespace qb
