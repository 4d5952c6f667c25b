// A login that names no port tries implicit TLS on 995 first; where nothing
// answers there it goes on to its default port, and a server that offers no
// STLS either is told to the user once.
#include <gtest/gtest.h>

#include "gateway/MailGW.h"
#include "platform/MessageLoop.h"
#include "support/GatedResolver.h"
#include "support/LoopbackPeer.h"
#include "support/PumpUntil.h"
#include "support/ScopedInstall.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using test::ReadPlain;
using test::SendAll;

TEST(TlsFirst, FallsBackToTheDefaultPortAndTellsAPlainServerOnce) {
  test::GatedResolver names;
  test::ScopedInstall<IHostResolver> installedNames{InstallHostResolver, &names};
  names.Answer("pop.test", {{127, 0, 0, 1}});  // nothing listens on its 995
  test::PlainListener server;
  TMailGateway gateway;
  gateway.Addr = "127.0.0.1";
  gateway.Port = "0";
  gateway.DefMailSrvPort = server.PortText();
  std::vector<std::string> told;
  gateway.OnPlainUpstream = [&](TMailGateway*, const std::string& host) { told.push_back(host); };
  std::vector<std::string> greetings;
  gateway.OnServerSend = [&](TMailGateway*, TAsyncSocket*, std::string& data, TClientState) {
    greetings.push_back(data);
  };
  ASSERT_EQ(gateway.Open(), "");
  for (int session = 1; session <= 2; ++session) {
    test::UniqueFd client =
        test::ConnectToLoopback(static_cast<std::uint16_t>(gateway.ListenSocket().BoundPort()));
    ASSERT_EQ(ReadPlain(client.Get(), 24), "+OK POP3 Gateway ready\r\n");
    SendAll(client.Get(), "USER alice#pop.test\r\n");
    test::UniqueFd upstream = server.Accept(10s);
    ASSERT_TRUE(upstream.Valid()) << "session " << session << " reached the default port";
    SendAll(upstream.Get(), "+OK plain server\r\n");
    EXPECT_EQ(ReadPlain(upstream.Get(), 6), "CAPA\r\n");
    SendAll(upstream.Get(), "+OK\r\nUSER\r\n.\r\n");
    ASSERT_TRUE(test::PumpUntil([&] { return greetings.size() == std::size_t(session); }, 5s));
  }
  EXPECT_EQ(told, std::vector<std::string>{"pop.test"}) << "told once, naming the server";
  gateway.CloseSessions();
  MessageLoop::Instance().ProcessMessages();
}

}  // namespace
}  // namespace qb
