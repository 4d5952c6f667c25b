#include "gateway/MailGW.h"

#include <gtest/gtest.h>

#include <cstring>

#include "gateway/RelayHandler.h"
#include "platform/MessageLoop.h"
#include "support/ClientThread.h"
#include "support/GatedResolver.h"
#include "support/LoopbackPeer.h"
#include "support/PlainPop3Client.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/ScopedInstall.h"
#include "support/ScriptedPop3Server.h"

namespace qb {
namespace {

using test::ConnectToLoopback;
using test::PlainListener;
using test::PumpUntil;
using test::ReadPlain;
using test::SendAll;

class MailGatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway = std::make_unique<TMailGateway>();
    gateway->Addr = "127.0.0.1";
    gateway->Port = "0";
    gateway->OnClientConnect = [this](TMailGateway*, TMailGWClient* client) { last = client; };
  }
  void TearDown() override {
    clients.clear();
    gateway.reset();
    MessageLoop::Instance().ProcessMessages();
    EXPECT_EQ(MessageLoop::Instance().WindowCount(), 0u);
  }
  void Open() { ASSERT_EQ(gateway->Open(), ""); }
  int GatewayPort() { return gateway->ListenSocket().BoundPort(); }
  // A plain mail client, kept open until the test ends; its descriptor.
  int ConnectPlain() {
    clients.push_back(ConnectToLoopback(static_cast<std::uint16_t>(GatewayPort())));
    return clients.back().Get();
  }
  // A mail client that has read the greeting.
  int Connect() {
    int fd = ConnectPlain();
    EXPECT_EQ(ReadPlain(fd, 24), "+OK POP3 Gateway ready\r\n");
    return fd;
  }
  // Sends one line and lets the gateway handle it.
  void SendLine(int fd, const std::string& line) {
    SendAll(fd, line + "\r\n");
    PumpUntil([&] { return last && last->ReadCount() > 0 && last->BufferedCount() == 0; },
              std::chrono::milliseconds(300));
  }

  // No lookup leaves the process: a name resolves only when a test says so.
  test::GatedResolver names;
  test::ScopedInstall<IHostResolver> installedNames{InstallHostResolver, &names};
  std::unique_ptr<TMailGateway> gateway;
  TMailGWClient* last = nullptr;
  std::vector<test::UniqueFd> clients;
};

struct LoginCase {
  const char* Line;
  const char* LoginLine;
  const char* Server;
  const char* Port;
  const char* FallbackPort;  // "" unless the login tries implicit TLS on 995 first
};

TEST_F(MailGatewayTest, SplitsTheLoginIntoAccountAndServer) {
  Open();
  const LoginCase cases[] = {
      {"USER alice#pophost", "USER alice\r\n", "pophost", "995", "pop3"},
      {"user bob#mailhost:995", "user bob\r\n", "mailhost", "995", ""},
      {"USER carol#a:1", "USER carol\r\n", "a:1", "995", "pop3"},
      {"USER dave#hostone#hosttwo", "USER dave\r\n", "hostone", "995", "pop3"},
      {"USERX frank#h", "USERX frank\r\n", "h", "995", "pop3"},
      {"USER gina#pophost/plain", "USER gina\r\n", "pophost", "pop3", ""},
      {"USER hal#localhost", "USER hal\r\n", "localhost", "pop3", ""},
  };
  for (const LoginCase& c : cases) {
    int fd = Connect();
    SendLine(fd, c.Line);
    ASSERT_NE(last->ServerSocket, nullptr) << c.Line;
    EXPECT_EQ(last->LoginLine, c.LoginLine) << c.Line;
    EXPECT_EQ(last->ServerSocket->Addr(), c.Server) << c.Line;
    EXPECT_EQ(last->ServerSocket->Port(), c.Port) << c.Line;
    EXPECT_EQ(last->FallbackPort, c.FallbackPort) << c.Line;
    EXPECT_EQ(last->ClientState, csWaitingLogin);
  }
}

TEST_F(MailGatewayTest, ALoginWithoutServerUsesTheDefaultServer) {
  gateway->DefMailServer = "defhost";
  Open();
  int fd = Connect();
  SendLine(fd, "USER erin");
  ASSERT_NE(last->ServerSocket, nullptr);
  EXPECT_EQ(last->LoginLine, "USER erin\r\n");
  EXPECT_EQ(last->ServerSocket->Addr(), "defhost");
}

TEST_F(MailGatewayTest, ALoginWithoutAnyServerEndsOnlyThatSession) {
  Open();
  int fd = Connect();
  SendAll(fd, "USER erin\r\n");
  bool orderly = false;
  EXPECT_EQ(test::ReadToEnd(fd, orderly), "-ERR Invalid Command\r\n");
  EXPECT_TRUE(gateway->Active());
  Connect();  // the gateway still listens and greets
}

TEST_F(MailGatewayTest, CommandsBeforeTheLoginAreRefusedAndTheSessionStaysOpen) {
  Open();
  int fd = Connect();
  SendAll(fd, "PASS secret\r\nNOOP\r\n");
  EXPECT_EQ(ReadPlain(fd, 44), "-ERR Invalid Command\r\n-ERR Invalid Command\r\n");
  EXPECT_EQ(last->State(), wsConnected);
  EXPECT_EQ(last->ServerSocket, nullptr);
}

TEST_F(MailGatewayTest, AHandlerThatSwitchesToRelayingStopsTheLoginHandling) {
  std::string seen;
  gateway->OnClientSend = [&](TMailGateway*, TMailGWClient* client, std::string& data,
                              TClientState state) {
    seen = data;
    EXPECT_EQ(state, csWaitingLogin);
    client->ClientState = csRelaying;
  };
  Open();
  int fd = Connect();
  SendLine(fd, "USER alice#127.0.0.1");
  EXPECT_EQ(seen, "USER alice#127.0.0.1\r\n");
  EXPECT_EQ(last->ServerSocket, nullptr);
}

// A login the gateway cannot carry out is answered, and then that session
// ends in order; the gateway listens on.
TEST_F(MailGatewayTest, ALoginThatCannotReachItsServerIsAnsweredThenTheSessionEnds) {
  int refusedPort;
  {
    PlainListener gone;
    refusedPort = gone.Port();
  }
  struct Case {
    std::string Login;
    std::string Reply;
  } cases[] = {
      {"USER alice#no.such.host.invalid",
       "-ERR Cannot connect to the mail server no.such.host.invalid: its name does not resolve"},
      {"USER alice#127.0.0.1:" + std::to_string(refusedPort),
       "-ERR Cannot connect to the mail server 127.0.0.1: Connection refused\r\n"},
      {"USER alice#127.0.0.1:70000", "-ERR The port 70000 is not a port from 1 to 65535\r\n"},
      {"USER alice#127.0.0.1:0", "-ERR The port 0 is not a port from 1 to 65535\r\n"},
  };
  Open();
  for (const Case& each : cases) {
    int fd = Connect();
    SendAll(fd, each.Login + "\r\n");  // the session ends: nothing to wait for on it
    bool orderly = false;
    std::string reply = test::ReadToEnd(fd, orderly);
    EXPECT_TRUE(orderly) << each.Login;
    EXPECT_TRUE(reply.starts_with(each.Reply)) << each.Login << ": " << reply;
  }
  EXPECT_TRUE(gateway->Active());
}

TEST_F(MailGatewayTest, The51stClientIsAnnouncedThenRefused) {
  Open();
  int announced = 0;
  gateway->OnClientConnect = [&](TMailGateway*, TMailGWClient*) { ++announced; };
  for (int i = 0; i < 50; ++i) Connect();
  int fd = ConnectPlain();
  bool orderly = false;
  EXPECT_EQ(test::ReadToEnd(fd, orderly), "Sorry, too many clients\r\n");
  EXPECT_EQ(announced, 51);
}

TEST_F(MailGatewayTest, TheSmtpFlavourChangesGreetingKeywordErrorAndPorts) {
  gateway->SetGatewayType(gtSmtp);
  EXPECT_EQ(gateway->SrvHelloCommand, "220 SMTP Gateway ready");
  EXPECT_EQ(gateway->SrvUserIdent, "helo");
  EXPECT_EQ(gateway->SrvErrorString, "500 command not recognized");
  EXPECT_EQ(gateway->Port, "smtp");
  EXPECT_EQ(gateway->DefMailSrvPort, "smtp");
  gateway->Port = "0";
  gateway->SetGatewayType(gtSmtp);
  EXPECT_EQ(gateway->Port, "0") << "the same type again changes nothing";
  Open();
  int fd = ConnectPlain();
  EXPECT_EQ(ReadPlain(fd, 24), "220 SMTP Gateway ready\r\n");
  SendAll(fd, "MAIL FROM:<a@b>\r\n");
  EXPECT_EQ(ReadPlain(fd, 28), "500 command not recognized\r\n");

  test::RecordingDialogs dialogs;
  gateway->SetGatewayType(gtPop3);
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"Component is active, first close with .close."}));
  EXPECT_EQ(gateway->GatewayType(), gtSmtp);
  gateway->Close();
  gateway->SetGatewayType(gtPop3);
  EXPECT_EQ(gateway->SrvHelloCommand, "+OK POP3 Gateway ready");
  EXPECT_EQ(gateway->Port, "pop3");
}

TEST_F(MailGatewayTest, OpenTwiceDoesNothingAndCloseThenOpenListensAgain) {
  Open();
  int firstPort = GatewayPort();
  EXPECT_EQ(gateway->Open(), "");
  EXPECT_EQ(GatewayPort(), firstPort);
  gateway->Close();
  EXPECT_FALSE(gateway->Active());
  EXPECT_EQ(gateway->ListenSocket().State(), wsClosed);
  Open();
  EXPECT_TRUE(gateway->Active());
  Connect();
}

TEST_F(MailGatewayTest, ABusyPortGivesTheSocketLayersMessage) {
  PlainListener busy;
  gateway->Port = busy.PortText();
  EXPECT_EQ(gateway->Open(), "Error 10048 in function Bind\r\nAddress already in use");
  EXPECT_FALSE(gateway->Active());
}

TEST_F(MailGatewayTest, NeitherDelimiterNorDefaultServerIsRefusedAtOpen) {
  test::RecordingDialogs dialogs;
  gateway->DelimChar = '\0';
  EXPECT_EQ(gateway->Open(), "");
  EXPECT_FALSE(gateway->Active());
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{
                "No Delimiter AND no DefMailServer is set, one of booth must set !"}));
}

TEST_F(MailGatewayTest, RelaysAWholeSessionWithTheScriptedServer) {
  std::string message = "Subject: hello\r\n\r\n.dotted line\r\nbody\r\n";
  test::ScriptedPop3Server server({message});
  test::AttachRelayHandler(*gateway);
  Open();
  int port = GatewayPort();
  std::optional<std::string> retrieved;
  std::string user, pass, quit;
  test::ClientThread client([&] {
    test::PlainPop3Client pop(static_cast<std::uint16_t>(port));
    pop.ReadLine();
    user = pop.Command("USER alice#127.0.0.1:" + std::to_string(server.Port()));
    pass = pop.Command("PASS secret");
    retrieved = pop.MultiLineCommand("RETR 1");
    quit = pop.Command("QUIT");
  });
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(user.substr(0, 3), "+OK");
  EXPECT_EQ(pass.substr(0, 3), "+OK");
  ASSERT_TRUE(retrieved.has_value());
  EXPECT_NE(retrieved->find("\r\n..dotted line\r\nbody\r\n.\r\n"), std::string::npos);
  EXPECT_EQ(quit.substr(0, 3), "+OK");
  // The gateway first asks whether the server offers STLS (it does not).
  ASSERT_GE(server.Commands().size(), 2u);
  EXPECT_EQ(server.Commands()[0], "CAPA");
  EXPECT_EQ(server.Commands()[1], "USER alice") << "the server sees the plain account";
}

// A login's server name is looked up off the main thread: while the name
// server keeps one login waiting, another client is greeted and relayed, and
// the waiting login is answered once its lookup's limit has passed.
TEST_F(MailGatewayTest, ALoginWaitingForItsServerNameHoldsNoOtherSession) {
  std::string message = "Subject: hello\r\n\r\nbody\r\n";
  test::ScriptedPop3Server server({message});
  test::AttachRelayHandler(*gateway);
  gateway->LookupLimit = std::chrono::milliseconds(1500);
  names.Hold("silent.test");
  names.Answer("pop.test", {{127, 0, 0, 1}});
  Open();
  int port = GatewayPort();
  std::string stuck, user, pass, list;
  test::ClientThread clients([&] {
    test::PlainPop3Client waiting(static_cast<std::uint16_t>(port));
    waiting.ReadLine();
    waiting.SendLine("USER carol#silent.test");
    test::PlainPop3Client other(static_cast<std::uint16_t>(port));
    other.ReadLine();
    user = other.Command("USER alice#pop.test:" + std::to_string(server.Port()));
    pass = other.Command("PASS secret");
    list = other.MultiLineCommand("LIST").value_or("");
    other.Command("QUIT");
    stuck = waiting.ReadUntilClosed().value_or("");
  });
  bool finished = clients.Finish();
  names.Release("silent.test");
  ASSERT_TRUE(finished);
  EXPECT_EQ(user.substr(0, 3), "+OK") << user;
  EXPECT_EQ(pass.substr(0, 3), "+OK") << pass;
  EXPECT_EQ(list, "+OK\r\n1 " + std::to_string(message.size()) + "\r\n.\r\n");
  EXPECT_EQ(
      stuck,
      "-ERR Cannot connect to the mail server silent.test: its name was not found in time\r\n");
  EXPECT_EQ(names.Calls("pop.test"), 1u);
}

}  // namespace
}  // namespace qb
