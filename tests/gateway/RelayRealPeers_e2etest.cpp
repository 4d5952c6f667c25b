// Real mail clients fetch from a real Dovecot server through the gateway
// with the relay-only handler: every message must arrive byte for byte.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "gateway/MailGW.h"
#include "gateway/RelayHandler.h"
#include "support/ClientThread.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PumpUntil.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string Message(int i) {
  std::string text = "From: sender" + std::to_string(i) +
                     "@example.org\r\n"
                     "To: alice@example.org\r\nSubject: message " +
                     std::to_string(i) + "\r\nMessage-ID: <" + std::to_string(i) +
                     "@example.org>\r\n\r\n";
  for (int line = 0; line < 200 * i; ++line) {
    text += (line % 17 == 0 ? "." : "") + std::string("line ") + std::to_string(line) +
            " of a message body that is long enough to matter\r\n";
  }
  return text;
}

class RelayRealPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 3; ++i) {
      messages.push_back(Message(i));
      dovecot.AddMessage("alice", messages.back());
    }
    dovecot.Start();
    gateway.Addr = "127.0.0.1";
    gateway.Port = "0";
    AttachRelayHandler(gateway);
    ASSERT_EQ(gateway.Open(), "");
  }
  std::uint16_t GatewayPort() {
    return static_cast<std::uint16_t>(gateway.ListenSocket().BoundPort());
  }
  std::string Account() { return "alice#127.0.0.1:" + std::to_string(dovecot.Port()); }

  DovecotServer dovecot;
  TMailGateway gateway;
  std::vector<std::string> messages;
};

TEST_F(RelayRealPeers, FetchmailGetsEveryMessageByteIdenticalAndDeletesThem) {
  Fetchmail fetchmail(
      {.User = Account(), .Password = "secret", .Port = GatewayPort(), .Keep = false});
  std::unique_ptr<ChildProcess> child = fetchmail.Start();
  ASSERT_TRUE(PumpUntil([&] { return !child->Running(); }, 90s));
  ProcessResult result = child->Wait(5s);
  EXPECT_EQ(result.ExitCode, 0) << result.Errors << result.Output;
  std::vector<std::string> delivered = fetchmail.Delivered();
  ASSERT_EQ(delivered.size(), messages.size()) << result.Errors;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    EXPECT_TRUE(delivered[i].find(messages[i]) != std::string::npos)
        << "message " << i + 1 << " arrived changed";
  }
  EXPECT_TRUE(dovecot.Messages("alice").empty()) << "fetchmail's delete mode empties the Maildir";
}

TEST_F(RelayRealPeers, CurlListsAndRetrievesThroughTheGateway) {
  ProcessResult list, retr;
  ClientThread client([&] {
    list = RunCurl({Pop3Url(Account(), "secret", GatewayPort())}, 30s);
    retr = RunCurl({Pop3Url(Account(), "secret", GatewayPort(), 2)}, 30s);
  });
  ASSERT_TRUE(client.Finish(70s));
  EXPECT_EQ(list.ExitCode, 0) << list.Errors;
  EXPECT_EQ(list.Output.substr(0, 2), "1 ");
  EXPECT_EQ(retr.ExitCode, 0) << retr.Errors;
  EXPECT_TRUE(retr.Output == messages[1]) << "RETR 2 arrived changed: " << retr.Output.size()
                                          << " bytes instead of " << messages[1].size();
  EXPECT_EQ(dovecot.Messages("alice").size(), 3u);
}

}  // namespace
}  // namespace qb::test
