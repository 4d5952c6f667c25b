// The gateway's connection to the mail server over TLS, against a real
// Dovecot with "ssl = required" (its log tells whether each login came over
// TLS) and scripted servers that misbehave. The test makes its own
// certificate authority with the openssl tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "gateway/MailGW.h"
#include "gateway/RelayHandler.h"
#include "platform/FileStore.h"
#include "platform/MessageLoop.h"
#include "support/ClientThread.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PlainPop3Client.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestCertificates.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

TestCertificates& Certificates() {
  static TestCertificates certificates;
  return certificates;
}

std::string Message(int i, int lines) {
  std::string text = "From: sender" + std::to_string(i) + "@example.org\r\nSubject: message " +
                     std::to_string(i) + "\r\n\r\n";
  for (int line = 0; line < lines; ++line) {
    text += (line % 13 == 0 ? "." : "") + std::string("line ") + std::to_string(line) +
            " of a body that spans several TLS records\r\n";
  }
  return text;
}

// How many of Dovecot's logins so far came over TLS, and how many in all.
std::pair<std::size_t, std::size_t> TlsLogins(const DovecotServer& dovecot) {
  std::vector<std::string> logins = dovecot.Logins();
  auto overTls = std::count_if(logins.begin(), logins.end(), [](const std::string& line) {
    return line.find(", TLS,") != std::string::npos;
  });
  return {static_cast<std::size_t>(overTls), logins.size()};
}

bool ReceivedCredentials(const ScriptedPop3Server& server) {
  return server.CountCommands("USER") + server.CountCommands("PASS") > 0;
}

class TlsUpstream : public ::testing::Test {
 protected:
  void SetUp() override { OpenGateway(gateway); }
  void OpenGateway(TMailGateway& g) {
    g.Addr = "127.0.0.1";
    g.Port = "0";
    g.StlsServersFile = home.File("stlsservers.txt");
    g.TlsHandshakeTimeout = 2s;
    AttachRelayHandler(g);
    ASSERT_EQ(g.Open(), "");
  }
  static std::uint16_t PortOf(TMailGateway& g) {
    return static_cast<std::uint16_t>(g.ListenSocket().BoundPort());
  }
  // What a mail client gets after its login line, until the gateway closes
  // (or a first reply, for a session that goes on).
  std::string LoginReply(const std::string& server, TMailGateway* through = nullptr) {
    std::uint16_t port = PortOf(through ? *through : gateway);
    std::string reply;
    {
      ClientThread client([&] {
        PlainPop3Client pop3(port);
        pop3.ReadLine();
        pop3.SendLine("USER alice#" + server);
        reply = pop3.ReadLine(20s).value_or("(no reply)");
        if (reply.starts_with("-ERR") && pop3.ReadUntilClosed(5s) != std::string()) {
          reply += "(not closed)";
        }
      });
      client.Finish(30s);
    }  // joined
    return reply;
  }
  // curl through the gateway, started from the main thread while its loop
  // turns; what it fetched is in Output.
  ProcessResult Curl(const std::string& server, std::optional<unsigned> message) {
    const std::string fetched = home.File("curl.out");
    std::filesystem::remove(fetched);
    ChildProcess curl(CurlCommand(
        {"-o", fetched, Pop3Url("alice#" + server, "secret", PortOf(gateway), message)}, 30s));
    PumpUntil([&] { return !curl.Running(); }, 40s);
    ProcessResult result = curl.Wait(5s);
    result.Output = ReadWholeFile(fetched).value_or("");
    return result;
  }
  std::string Remembered() { return ReadWholeFile(home.File("stlsservers.txt")).value_or(""); }

  ScopedCaFile caFile{Certificates().CaFile()};
  TempFolder home{"qb-tls-home"};
  RecordingDialogs dialogs;
  TMailGateway gateway;
};

TEST_F(TlsUpstream, CurlRetrievesByteForByteOverPop3sAndOverStls) {
  DovecotServer dovecot({.Tls = Certificates().Issue()});
  std::vector<std::string> messages = {Message(1, 10), Message(2, 4000)};
  for (const std::string& message : messages) dovecot.AddMessage("alice", message);
  dovecot.Start();
  const std::string pops = "127.0.0.1:" + std::to_string(dovecot.PopsPort());
  const std::string plain = "127.0.0.1:" + std::to_string(dovecot.Port());
  for (const std::string& server : {pops + "/tls", plain + "/starttls", plain}) {
    SCOPED_TRACE(server);
    ProcessResult list = Curl(server, std::nullopt);
    EXPECT_EQ(list.ExitCode, 0) << list.Errors << dovecot.Log();
    EXPECT_EQ(list.Output, "1 " + std::to_string(messages[0].size()) + "\r\n2 " +
                               std::to_string(messages[1].size()) + "\r\n");
    ProcessResult retr = Curl(server, 2);
    EXPECT_EQ(retr.ExitCode, 0) << retr.Errors;
    EXPECT_EQ(retr.Output, messages[1]);
  }
  EXPECT_EQ(TlsLogins(dovecot), std::make_pair(std::size_t{6}, std::size_t{6})) << dovecot.Log();
  EXPECT_EQ(Remembered(), "127.0.0.1\r\n") << "CAPA offered STLS on the plain port";
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(TlsUpstream, AServerOnceSeenOfferingStlsIsRefusedPlainWhenItStopsOfferingIt) {
  ScriptedPop3Server stripped({Message(1, 3)});
  stripped.FailCommand("CAPA", "+OK\r\nUSER\r\nUIDL\r\n.");
  const std::string strippedServer = "127.0.0.1:" + std::to_string(stripped.Port());
  // Before any server was seen offering STLS, a server without it is used in plain.
  EXPECT_EQ(LoginReply(strippedServer), "+OK\r\n");
  EXPECT_EQ(stripped.CountCommands("USER"), 1u);
  stripped.ClearCommands();

  DovecotServer dovecot({.Tls = Certificates().Issue()});
  dovecot.AddMessage("alice", Message(1, 3));
  dovecot.Start();
  ProcessResult list = Curl("127.0.0.1:" + std::to_string(dovecot.Port()), std::nullopt);
  ASSERT_EQ(list.ExitCode, 0) << list.Errors << dovecot.Log();
  EXPECT_EQ(TlsLogins(dovecot), std::make_pair(std::size_t{1}, std::size_t{1}));
  ASSERT_EQ(Remembered(), "127.0.0.1\r\n");

  const std::string refusal =
      "TLS: the server no longer offers STLS, which it offered before (127.0.0.1)";
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(LoginReply(strippedServer), "-ERR [SYS/PERM] " + refusal + "\r\n");
  }
  MessageLoop::Instance().ProcessMessages();  // whatever was posted is shown by now
  EXPECT_EQ(dialogs.MessageBoxes().size(), 1u) << "the same failure is shown once";
  EXPECT_EQ(dialogs.MessageBoxes()[0].Text, refusal);
  // A gateway started later reads what was remembered.
  TMailGateway later;
  OpenGateway(later);
  EXPECT_EQ(LoginReply(strippedServer, &later), "-ERR [SYS/PERM] " + refusal + "\r\n");
  EXPECT_EQ(stripped.Commands(), (std::vector<std::string>{"CAPA", "CAPA", "CAPA"}));
}

struct FailureCase {
  std::string Name;
  std::optional<CertificateRequest> DovecotCertificate;  // a real Dovecot on its POP3S port
  std::function<void(ScriptedPop3Server&)> Scripted;     // otherwise a scripted server
  std::string Suffix;
  std::string Reason;
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
  *out << failure.Name;
}

class TlsUpstreamFailure : public TlsUpstream, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TlsUpstreamFailure, TellsTheClientWhyClosesAndSendsNoCredentials) {
  const FailureCase& failure = GetParam();
  const std::string expected = "TLS: " + failure.Reason + " (127.0.0.1)";
  if (failure.DovecotCertificate) {
    DovecotServer dovecot({.Tls = Certificates().Issue(*failure.DovecotCertificate)});
    dovecot.Start();
    EXPECT_EQ(LoginReply("127.0.0.1:" + std::to_string(dovecot.PopsPort()) + failure.Suffix),
              "-ERR [SYS/PERM] " + expected + "\r\n");
    ASSERT_TRUE(
        PumpUntil([&] { return dovecot.Log().find("no auth attempts") != std::string::npos; }, 10s))
        << dovecot.Log();
    EXPECT_EQ(dovecot.Log().find("user=<alice>"), std::string::npos) << dovecot.Log();
  } else {
    ScriptedPop3Server server({Message(1, 3)});
    failure.Scripted(server);
    EXPECT_EQ(LoginReply("127.0.0.1:" + std::to_string(server.Port()) + failure.Suffix),
              "-ERR [SYS/PERM] " + expected + "\r\n");
    EXPECT_FALSE(ReceivedCredentials(server));
    server.Stop();
  }
  ASSERT_TRUE(PumpUntil([&] { return !dialogs.MessageBoxes().empty(); }, 5s));
  EXPECT_EQ(dialogs.MessageBoxes()[0].Text, expected);
  EXPECT_EQ(gateway.ListenSocket().ClientCount(), 0) << "the session was closed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsUpstreamFailure,
    ::testing::Values(
        FailureCase{"WrongHostName",
                    CertificateRequest{.AltNames = "DNS:pop.example.org"},
                    {},
                    "/tls",
                    "certificate is for another host name"},
        FailureCase{"ExpiredCertificate",
                    CertificateRequest{.Expired = true},
                    {},
                    "/tls",
                    "certificate has expired"},
        FailureCase{"UnknownAuthority",
                    CertificateRequest{.UnknownAuthority = true},
                    {},
                    "/tls",
                    "certificate is not from a trusted authority (unable to get local issuer "
                    "certificate)"},
        FailureCase{"PlainTextOnTheTlsPort", std::nullopt, [](ScriptedPop3Server&) {}, "/tls",
                    "the server answered in plain text, not TLS"},
        FailureCase{"CloseInTheMiddleOfTheHandshake", std::nullopt,
                    [](ScriptedPop3Server& s) { s.CloseAfterFirstBytes(); }, "/tls",
                    "the server closed the connection during the TLS handshake"},
        FailureCase{"HandshakeThatNeverEnds", std::nullopt,
                    [](ScriptedPop3Server& s) { s.SetReplyDelay(10min); }, "/tls",
                    "the TLS handshake did not finish within 2 s"},
        FailureCase{"StlsRefused", std::nullopt,
                    [](ScriptedPop3Server& s) { s.FailCommand("STLS", "-ERR not now"); },
                    "/starttls", "the server refused STLS (-ERR not now)"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.Name; });

}  // namespace
}  // namespace qb::test
