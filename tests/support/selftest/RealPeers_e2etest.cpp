#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PlainPop3Client.h"

#include <gtest/gtest.h>

#include <chrono>

namespace qb::test {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kMessages = {
    "From: one@example.org\r\nSubject: first\r\n\r\nplain body\r\n",
    "From: two@example.org\r\nSubject: dots\r\n\r\n.a line with a leading "
    "dot\r\n.\r\n..\r\nend\r\n",
    "From: three@example.org\r\nSubject: third\r\n\r\n" + std::string(3000, 'x') + "\r\n",
};

class RealPeersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dovecot = new DovecotServer({.Users = {{"alice", "secret"}, {"bob", "hunter2"}},
                                 .TranslateGatewayLogin = true,
                                 .RecordSessions = true});
    for (const std::string& message : kMessages) {
      dovecot->AddMessage("alice", message);
      dovecot->AddMessage("bob", message);
    }
    dovecot->Start();
  }
  static void TearDownTestSuite() {
    delete dovecot;
    dovecot = nullptr;
  }
  static DovecotServer* dovecot;
};

DovecotServer* RealPeersTest::dovecot = nullptr;

TEST_F(RealPeersTest, DovecotNumbersMessagesInArrivalOrderAndKeepsTheirBytes) {
  EXPECT_EQ(dovecot->Messages("alice"), kMessages);
  PlainPop3Client client(dovecot->Port());
  ASSERT_TRUE(client.LogIn("alice", "secret")) << dovecot->Log();
  std::optional<std::string> second = client.MultiLineCommand("RETR 2");
  ASSERT_TRUE(second);
  EXPECT_NE(second->find("\r\n..a line with a leading dot\r\n..\r\n...\r\nend\r\n.\r\n"),
            std::string::npos)
      << "RETR is dot-stuffed on the wire: " << *second;
  EXPECT_TRUE(client.Command("QUIT").starts_with("+OK"));
}

TEST_F(RealPeersTest, GatewayStyleUserNameLogsInAsThePlainUser) {
  PlainPop3Client client(dovecot->Port());
  ASSERT_TRUE(client.LogIn("alice#127.0.0.1:1110", "secret")) << dovecot->Log();
  EXPECT_TRUE(client.Command("STAT").starts_with("+OK 3 "));
  EXPECT_TRUE(client.Command("QUIT").starts_with("+OK"));
}

TEST_F(RealPeersTest, CurlListsAndRetrievesEachMessageByteIdentical) {
  ProcessResult list = RunCurl({Pop3Url("alice#127.0.0.1:1110", "secret", dovecot->Port())}, 20s);
  ASSERT_EQ(list.ExitCode, 0) << list.Errors;
  EXPECT_EQ(list.Output, "1 " + std::to_string(kMessages[0].size()) + "\r\n2 " +
                             std::to_string(kMessages[1].size()) + "\r\n3 " +
                             std::to_string(kMessages[2].size()) + "\r\n");
  for (unsigned number = 1; number <= kMessages.size(); ++number) {
    ProcessResult retr = RunCurl({Pop3Url("alice", "secret", dovecot->Port(), number)}, 20s);
    ASSERT_EQ(retr.ExitCode, 0) << retr.Errors;
    EXPECT_EQ(retr.Output, kMessages[number - 1]) << "message " << number;
  }
  EXPECT_NE(dovecot->RawLog("alice").find("RETR 3"), std::string::npos) << dovecot->RawLog("alice");
}

TEST_F(RealPeersTest, FetchmailKeepModeDeliversEveryMessageAndLeavesThemOnTheServer) {
  FetchmailResult fetched = RunFetchmail(
      {.User = "alice#127.0.0.1:1110", .Password = "secret", .Port = dovecot->Port()}, 60s);
  EXPECT_EQ(fetched.Process.ExitCode, 0) << fetched.Process.Output << fetched.Process.Errors;
  EXPECT_EQ(fetched.Delivered, kMessages);
  EXPECT_EQ(dovecot->Messages("alice"), kMessages);
}

TEST_F(RealPeersTest, FetchmailDeleteModeEmptiesTheMaildir) {
  FetchmailResult fetched = RunFetchmail(
      {.User = "bob", .Password = "hunter2", .Port = dovecot->Port(), .Keep = false}, 60s);
  EXPECT_EQ(fetched.Process.ExitCode, 0) << fetched.Process.Output << fetched.Process.Errors;
  EXPECT_EQ(fetched.Delivered, kMessages);
  EXPECT_TRUE(dovecot->Messages("bob").empty());
  EXPECT_NE(dovecot->RawLog("bob").find("DELE 3"), std::string::npos) << dovecot->RawLog("bob");
}

TEST_F(RealPeersTest, StopEndsDovecotAndFreesItsPort) {
  std::uint16_t port = dovecot->Port();
  dovecot->Stop();
  EXPECT_FALSE(dovecot->Running());
  EXPECT_FALSE(PlainPop3Client(port).Connected());
  dovecot->Start();
  PlainPop3Client client(dovecot->Port());
  EXPECT_TRUE(client.LogIn("alice", "secret")) << "starts again after a stop";
  // Last, because a failed login makes Dovecot delay the next logins from
  // 127.0.0.1 by seconds.
  PlainPop3Client wrong(dovecot->Port());
  EXPECT_FALSE(wrong.LogIn("alice#127.0.0.1:1110", "not-the-password"));
}

}  // namespace
}  // namespace qb::test
