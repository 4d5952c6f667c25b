// The lines a mail client sends before its login has named a server, which
// the gateway answers itself: CAPA, AUTH, STLS offers, bare LF line ends,
// and what it refuses without connecting anywhere (web requests, control
// bytes in the server part).
#include <gtest/gtest.h>

#include "gateway/ClientLogin.h"
#include "gateway/MailGW.h"
#include "platform/MessageLoop.h"
#include "support/LoopbackPeer.h"
#include "support/PumpUntil.h"

namespace qb {
namespace {

using test::ConnectToLoopback;
using test::PlainListener;
using test::ReadPlain;
using test::SendAll;

class LoginDialogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway.Addr = "127.0.0.1";
    gateway.Port = "0";
    gateway.OnClientConnect = [this](TMailGateway*, TMailGWClient* client) { last = client; };
    gateway.OnClientSend = [this](TMailGateway*, TMailGWClient*, std::string& data, TClientState) {
      seen.push_back(data);
    };
    ASSERT_EQ(gateway.Open(), "");
  }
  void TearDown() override {
    client = test::UniqueFd();
    gateway.CloseSessions();
    MessageLoop::Instance().ProcessMessages();
  }
  void Greeted() {
    client = ConnectToLoopback(static_cast<std::uint16_t>(gateway.ListenSocket().BoundPort()));
    ASSERT_EQ(ReadPlain(client.Get(), 24), "+OK POP3 Gateway ready\r\n");
  }
  std::string Ask(const std::string& bytes, std::size_t replyLength) {
    SendAll(client.Get(), bytes);
    return ReadPlain(client.Get(), replyLength, std::chrono::milliseconds(2000));
  }

  TMailGateway gateway;
  test::UniqueFd client;
  std::vector<std::string> seen;
  TMailGWClient* last = nullptr;
};

TEST_F(LoginDialogueTest, AnswersCapaAndAuthBeforeTheLoginItself) {
  struct Case {
    std::string Sent;
    std::string Reply;
  } cases[] = {
      {"CAPA\r\n", "+OK Capability list follows\r\nUSER\r\nSASL PLAIN\r\n.\r\n"},
      {"capa\n", "+OK Capability list follows\r\nUSER\r\nSASL PLAIN\r\n.\r\n"},
      {"AUTH CRAM-MD5\r\n",
       "-ERR Only USER/PASS and AUTH PLAIN are offered here (user: account#server)\r\n"},
      {"AUTH\r\n", "+OK\r\nPLAIN\r\n.\r\n"},
      {"AUTH PLAIN bm90IGJhc2U2NA==\r\n", "-ERR AUTH PLAIN: not a PLAIN message\r\n"},
      {"AUTH PLAIN\r\n*\r\n", "+ \r\n-ERR AUTH PLAIN cancelled\r\n"},
      {"STLS\r\n", "-ERR Invalid Command\r\n"},  // no certificate: no TLS offered
      {"UTF8\r\n", "-ERR Invalid Command\r\n"},  // only a server that offers it gets it
  };
  Greeted();
  for (const Case& c : cases) EXPECT_EQ(Ask(c.Sent, c.Reply.size()), c.Reply) << c.Sent;
  EXPECT_TRUE(seen.empty()) << "nothing of it is the application's";
}

// The two forms of AUTH PLAIN log in as USER/PASS would; the server is
// asked with the account alone, the password unchanged.
TEST_F(LoginDialogueTest, AuthPlainLogsInWithTheAccountAndServerOfItsUser) {
  const std::string message = EncodeAuthPlain("alice#127.0.0.1:1", "pa ss");
  for (const std::string& sent :
       {"AUTH PLAIN " + message + "\r\n", "AUTH PLAIN\r\n" + message + "\n"}) {
    seen.clear();
    Greeted();
    SendAll(client.Get(), sent);
    ASSERT_TRUE(test::PumpUntil([&] { return !seen.empty() && last->ServerSocket; },
                                std::chrono::milliseconds(2000)))
        << sent;
    EXPECT_EQ(seen, std::vector<std::string>{"USER alice#127.0.0.1:1\r\n"});
    EXPECT_EQ(last->LoginLine, "AUTH PLAIN " + EncodeAuthPlain("alice", "pa ss") + "\r\n");
    EXPECT_EQ(last->ServerSocket->Addr(), "127.0.0.1");
  }
}

// A browser's request to the gateway, or a login that hides a control byte
// in its server part, ends the session; no server is ever connected.
TEST_F(LoginDialogueTest, WebRequestsAndControlBytesReachNoServer) {
  PlainListener server;
  const std::string login = "USER x#127.0.0.1:" + server.PortText() + "\r\n";
  const std::string refusal = "-ERR The server part of the login holds a control character\r\n";
  struct Case {
    std::string Sent;
    std::string Reply;
  } cases[] = {
      {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + login, ""},
      {"GET /?q=1 HTTP/1.0\n" + login, ""},
      {"OPTIONS * HTTP/1.1\r\n" + login, ""},
      {"Content-Type: text/plain\r\n" + login, ""},
      {"USER x#127.0.0.1" + std::string(1, '\0') + "x:" + server.PortText() + "\r\n", refusal},
      {"USER x#127.0.0.1\x01:" + server.PortText() + "\r\n", refusal},
  };
  for (const Case& c : cases) {
    Greeted();
    SendAll(client.Get(), c.Sent);
    bool orderly = false;
    EXPECT_EQ(test::ReadToEnd(client.Get(), orderly, std::chrono::milliseconds(2000)), c.Reply)
        << c.Sent;
    EXPECT_FALSE(server.Accept(std::chrono::milliseconds(50)).Valid()) << c.Sent;
  }
  EXPECT_TRUE(seen.empty()) << seen.front();
}

TEST(LoginLines, WebRequestsAreToldFromPop3Commands) {
  for (const char* line : {"GET / HTTP/1.1", "post /x HTTP/1.0", "CONNECT a:1 HTTP/1.1", "Host: x",
                           "User-Agent: curl/8", "X-A_b: 1"}) {
    EXPECT_TRUE(LooksLikeWebRequest(line)) << line;
  }
  for (const char* line : {"USER a#b:110", "PASS se:cret", "GET", "POST something", ":x",
                           "AUTH PLAIN AGE6Yg==", "LIST 1"}) {
    EXPECT_FALSE(LooksLikeWebRequest(line)) << line;
  }
  std::string lf = "USER a\n", crlf = "USER a\r\n";
  EndLineWithCrLf(lf);
  EndLineWithCrLf(crlf);
  EXPECT_EQ(lf, "USER a\r\n");
  EXPECT_EQ(crlf, "USER a\r\n");
}

}  // namespace
}  // namespace qb
