// TLS on the mail client's side of the gateway, with the real clients: mpop
// and fetchmail pin the gateway's own certificate by its fingerprint and
// fetch from a real Dovecot through STLS and through the implicit-TLS port;
// curl logs in with AUTH PLAIN; a web request to the gateway reaches nothing.
#include <gtest/gtest.h>

#include "gateway/MailGW.h"
#include "gateway/RelayHandler.h"
#include "net/LocalCertificate.h"
#include "support/ClientThread.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PumpUntil.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class LocalTlsRealPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 2; ++i) {
      dovecot.AddMessage("alice", "Subject: message " + std::to_string(i) + "\r\n\r\nbody\r\n");
    }
    dovecot.Start();
    certificate = PrepareLocalCertificate(folder.Path().string() + "/");
    ASSERT_TRUE(certificate.Ready()) << certificate.Error;
    gateway.Addr = "127.0.0.1";
    gateway.Addr6 = "::1";
    gateway.Port = "0";
    gateway.TlsPort = "0";
    gateway.CertificateFile = certificate.CertificateFile;
    gateway.KeyFile = certificate.KeyFile;
    AttachRelayHandler(gateway);
    ASSERT_EQ(gateway.Open(), "");
    ASSERT_NE(gateway.TlsBoundPort(), 0) << "the implicit-TLS port listens";
  }
  std::uint16_t Plain() { return static_cast<std::uint16_t>(gateway.ListenSocket().BoundPort()); }
  std::uint16_t Implicit() { return static_cast<std::uint16_t>(gateway.TlsBoundPort()); }
  std::string Account() { return "alice#127.0.0.1:" + std::to_string(dovecot.Port()); }
  ProcessResult RunWhilePumping(const MailClientRun& client) {
    std::unique_ptr<ChildProcess> child = client.Start();
    EXPECT_TRUE(PumpUntil([&] { return !child->Running(); }, 60s));
    return child->Wait(5s);
  }

  TempFolder folder;
  DovecotServer dovecot;
  TLocalCertificate certificate;
  TMailGateway gateway;
};

TEST_F(LocalTlsRealPeers, MpopAndFetchmailFetchOverStlsAndImplicitTlsWithThePinnedCertificate) {
  for (bool implicit : {false, true}) {
    MailClientOptions options{.User = Account(),
                              .Password = "secret",
                              .Port = implicit ? Implicit() : Plain(),
                              .Host = "localhost",  // fetchmail checks the name it was given
                              .TlsFingerprint = certificate.Fingerprint,
                              .ImplicitTls = implicit};
    Mpop mpop(options);
    options.TlsFingerprint = certificate.FingerprintMd5;  // fetchmail 6.4 compares MD5
    Fetchmail fetchmail(options);
    for (const MailClientRun* client : {static_cast<const MailClientRun*>(&mpop),
                                        static_cast<const MailClientRun*>(&fetchmail)}) {
      ProcessResult result = RunWhilePumping(*client);
      EXPECT_EQ(result.ExitCode, 0)
          << (implicit ? "implicit " : "STLS ") << result.Errors << result.Output;
      EXPECT_EQ(client->Delivered().size(), 2u) << (implicit ? "implicit" : "STLS");
    }
  }
  EXPECT_EQ(dovecot.Messages("alice").size(), 2u) << "kept on the server";
}

TEST_F(LocalTlsRealPeers, CurlLogsInWithAuthPlainAndAWebRequestReachesNothing) {
  std::vector<std::string> loginLines;
  auto relay = gateway.OnServerSend;
  gateway.OnServerSend = [&](TMailGateway* sender, TAsyncSocket* server, std::string& data,
                             TClientState state) {
    auto* client = static_cast<TMailGWClient*>(server->Owner);
    if (state == csWaitingLogin) loginLines.push_back(client->LoginLine);
    relay(sender, server, data, state);
  };
  ProcessResult list, post;
  std::string url = "http://127.0.0.1:" + std::to_string(Plain()) + "/";
  ClientThread client([&] {
    list = RunCurl({"--login-options", "AUTH=PLAIN", Pop3Url(Account(), "secret", Plain())}, 30s);
    post = RunCurl({"--data-binary",
                    "USER alice#127.0.0.1:" + std::to_string(dovecot.Port()) +
                        "\r\nPASS secret\r\nDELE 1\r\nQUIT\r\n",
                    url},
                   30s);
  });
  ASSERT_TRUE(client.Finish(70s));
  EXPECT_EQ(list.ExitCode, 0) << list.Errors;
  EXPECT_EQ(list.Output, "1 28\r\n2 28\r\n");
  ASSERT_EQ(loginLines.size(), 1u) << "only curl's POP3 session reached the server";
  EXPECT_TRUE(loginLines[0].starts_with("AUTH PLAIN ")) << loginLines[0];
  EXPECT_NE(post.ExitCode, 0) << "the gateway closed the web request unanswered";
  EXPECT_EQ(dovecot.Messages("alice").size(), 2u);
}

}  // namespace
}  // namespace qb::test
