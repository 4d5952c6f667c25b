#include "support/PlainPop3Client.h"
#include "support/ScriptedPop3Server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qb::test {
namespace {

using namespace std::chrono_literals;

const std::string kFirst = "Subject: one\r\nFrom: a@example.org\r\n\r\nline 1\r\nline 2\r\n";
const std::string kDotted = "Subject: dots\r\n\r\n.leading dot\r\n..two\r\n.\r\nend\r\n";
const std::string kThird = "Subject: three\r\n\r\nbody\r\n";

class ScriptedPop3ServerTest : public ::testing::Test {
 protected:
  ScriptedPop3Server server{{kFirst, kDotted, kThird}};

  PlainPop3Client LoggedInClient() {
    PlainPop3Client client(server.Port());
    EXPECT_TRUE(client.LogIn("alice", "secret"));
    return client;
  }
};

TEST_F(ScriptedPop3ServerTest, GreetsAndAcceptsOnlyTheConfiguredLogin) {
  PlainPop3Client client(server.Port());
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(client.ReadLine(), std::string(ScriptedPop3Server::kGreeting));
  EXPECT_TRUE(client.Command("STAT").starts_with("-ERR"));
  EXPECT_TRUE(client.Command("PASS secret").starts_with("-ERR")) << "PASS before USER";
  EXPECT_TRUE(client.Command("USER alice").starts_with("+OK"));
  EXPECT_TRUE(client.Command("PASS wrong").starts_with("-ERR"));
  EXPECT_TRUE(client.Command("USER alice").starts_with("+OK"));
  EXPECT_TRUE(client.Command("pass secret").starts_with("+OK")) << "keywords ignore case";
  EXPECT_TRUE(client.Command("CAPA").starts_with("-ERR"));
  EXPECT_EQ(client.Command("NOOP"), "+OK\r\n");
}

TEST_F(ScriptedPop3ServerTest, ListsSizesAndUids) {
  PlainPop3Client client = LoggedInClient();
  std::string sizes = std::to_string(kFirst.size() + kDotted.size() + kThird.size());
  EXPECT_EQ(client.Command("STAT"), "+OK 3 " + sizes + "\r\n");
  EXPECT_EQ(client.MultiLineCommand("LIST"), "+OK\r\n1 " + std::to_string(kFirst.size()) +
                                                 "\r\n2 " + std::to_string(kDotted.size()) +
                                                 "\r\n3 " + std::to_string(kThird.size()) +
                                                 "\r\n.\r\n");
  EXPECT_EQ(client.MultiLineCommand("UIDL"),
            "+OK\r\n1 QB000001\r\n2 QB000002\r\n3 QB000003\r\n.\r\n");
  EXPECT_EQ(client.Command("UIDL 2"), "+OK 2 QB000002\r\n");
  EXPECT_EQ(client.Command("LIST 3"), "+OK 3 " + std::to_string(kThird.size()) + "\r\n");
  EXPECT_TRUE(client.Command("LIST 4").starts_with("-ERR"));
  EXPECT_TRUE(client.Command("UIDL 0").starts_with("-ERR"));
}

TEST_F(ScriptedPop3ServerTest, GivenUidsAreReported) {
  server.AddMessage(kThird, "my-uid");
  PlainPop3Client client = LoggedInClient();
  EXPECT_EQ(client.Command("UIDL 4"), "+OK 4 my-uid\r\n");
}

TEST_F(ScriptedPop3ServerTest, TopSendsTheHeaderAndTheAskedBodyLines) {
  PlainPop3Client client = LoggedInClient();
  EXPECT_EQ(client.MultiLineCommand("TOP 1 0"),
            "+OK\r\nSubject: one\r\nFrom: a@example.org\r\n\r\n.\r\n");
  EXPECT_EQ(client.MultiLineCommand("TOP 1 1"),
            "+OK\r\nSubject: one\r\nFrom: a@example.org\r\n\r\nline 1\r\n.\r\n");
  EXPECT_EQ(client.MultiLineCommand("TOP 1 99"), "+OK\r\n" + kFirst + ".\r\n");
  EXPECT_EQ(client.MultiLineCommand("TOP 2 2"),
            "+OK\r\nSubject: dots\r\n\r\n..leading dot\r\n...two\r\n.\r\n");
  EXPECT_TRUE(client.Command("TOP 9 0").starts_with("-ERR"));
}

TEST_F(ScriptedPop3ServerTest, RetrDotStuffsTheMessage) {
  PlainPop3Client client = LoggedInClient();
  EXPECT_EQ(client.MultiLineCommand("RETR 2"),
            "+OK " + std::to_string(kDotted.size()) +
                " octets\r\nSubject: dots\r\n\r\n..leading dot\r\n...two\r\n..\r\nend\r\n.\r\n");
}

TEST_F(ScriptedPop3ServerTest, MessageWithoutFinalLineEndGetsOneBeforeTheTerminator) {
  server.AddMessage("Subject: x\r\n\r\nno end");
  PlainPop3Client client = LoggedInClient();
  EXPECT_EQ(client.MultiLineCommand("RETR 4"),
            "+OK 20 octets\r\nSubject: x\r\n\r\nno end\r\n.\r\n");
}

TEST_F(ScriptedPop3ServerTest, DeletionsTakeEffectOnlyAtQuit) {
  PlainPop3Client client = LoggedInClient();
  EXPECT_TRUE(client.Command("DELE 1").starts_with("+OK"));
  EXPECT_TRUE(client.Command("DELE 1").starts_with("-ERR")) << "already deleted";
  EXPECT_TRUE(client.Command("RETR 1").starts_with("-ERR"));
  EXPECT_EQ(client.MultiLineCommand("UIDL"), "+OK\r\n2 QB000002\r\n3 QB000003\r\n.\r\n");
  EXPECT_EQ(server.Mailbox().size(), 3u) << "nothing removed before QUIT";
  EXPECT_TRUE(client.Command("DELE 3").starts_with("+OK"));
  EXPECT_TRUE(client.Command("QUIT").starts_with("+OK"));
  std::vector<Pop3Message> left = server.Mailbox();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].Uid, "QB000002");
  EXPECT_EQ(client.ReadUntilClosed(), "");
}

TEST_F(ScriptedPop3ServerTest, RsetAndADroppedConnectionKeepEveryMessage) {
  {
    PlainPop3Client client = LoggedInClient();
    client.Command("DELE 1");
    EXPECT_EQ(client.Command("RSET"), "+OK\r\n");
    EXPECT_TRUE(client.Command("RETR 1").starts_with("+OK"));
    client.ReadMultiLine();
    client.Command("DELE 2");
  }
  ASSERT_TRUE(server.WaitForSessionsEnded(1, 5s));
  EXPECT_EQ(server.Mailbox().size(), 3u);
}

TEST_F(ScriptedPop3ServerTest, LogsEveryCommandAndWaitsForOne) {
  PlainPop3Client client = LoggedInClient();
  client.Command("noop");
  client.Command("LIST 1");
  EXPECT_EQ(server.Commands(),
            (std::vector<std::string>{"USER alice", "PASS secret", "noop", "LIST 1"}));
  EXPECT_TRUE(server.WaitForCommand("NOOP", 1s));
  EXPECT_EQ(server.CountCommands("LIST"), 1u);
  EXPECT_EQ(server.CountCommands("LIST 2"), 0u);
  EXPECT_FALSE(server.WaitForCommand("QUIT", 50ms));
  std::thread later([&] { client.Command("QUIT"); });
  EXPECT_TRUE(server.WaitForCommand("QUIT", 5s));
  later.join();
}

TEST_F(ScriptedPop3ServerTest, ServesSessionsSideBySide) {
  PlainPop3Client first = LoggedInClient();
  PlainPop3Client second = LoggedInClient();
  EXPECT_TRUE(first.Command("DELE 1").starts_with("+OK"));
  EXPECT_TRUE(second.Command("DELE 2").starts_with("+OK"));
  EXPECT_TRUE(second.Command("QUIT").starts_with("+OK"));
  EXPECT_TRUE(first.Command("QUIT").starts_with("+OK"));
  ASSERT_EQ(server.Mailbox().size(), 1u);
  EXPECT_EQ(server.Mailbox()[0].Uid, "QB000003");
  EXPECT_TRUE(server.WaitForSessionsEnded(2, 5s));
  EXPECT_EQ(server.SessionsAccepted(), 2u);
}

TEST_F(ScriptedPop3ServerTest, LargeMessageArrivesWhole) {
  std::string big = "Subject: big\r\n\r\n";
  for (int i = 0; i < 40000; ++i) big += ".line " + std::to_string(i) + " of a long body\r\n";
  server.AddMessage(big);
  PlainPop3Client client = LoggedInClient();
  std::optional<std::string> reply = client.MultiLineCommand("RETR 4", 20s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->size(), big.size() + 40000 + std::string("+OK  octets\r\n.\r\n").size() +
                               std::to_string(big.size()).size());
  EXPECT_TRUE(reply->ends_with("\r\n..line 39999 of a long body\r\n.\r\n"));
}

TEST_F(ScriptedPop3ServerTest, ChangedCredentialsApplyToLaterSessions) {
  server.SetCredentials({"bob", "hunter2"});
  PlainPop3Client alice(server.Port());
  EXPECT_FALSE(alice.LogIn("alice", "secret"));
  PlainPop3Client bob(server.Port());
  EXPECT_TRUE(bob.LogIn("bob", "hunter2"));
}

class ScriptedPop3FaultTest : public ScriptedPop3ServerTest {};

TEST_F(ScriptedPop3FaultTest, FailedCommandGetsTheErrorAndIsNotCarriedOut) {
  server.FailCommand("DELE 2", "-ERR no way");
  server.FailCommand("uidl");
  PlainPop3Client client = LoggedInClient();
  EXPECT_EQ(client.Command("DELE 2"), "-ERR no way\r\n");
  EXPECT_TRUE(client.Command("DELE 1").starts_with("+OK"));
  EXPECT_EQ(client.Command("UIDL"), "-ERR Scripted failure\r\n");
  EXPECT_TRUE(client.Command("QUIT").starts_with("+OK"));
  ASSERT_EQ(server.Mailbox().size(), 2u);
  EXPECT_EQ(server.Mailbox()[0].Uid, "QB000002");
}

TEST_F(ScriptedPop3FaultTest, CloseDuringReplySendsTheFirstBytesThenCloses) {
  server.CloseDuringReply("RETR 1", 10);
  PlainPop3Client client = LoggedInClient();
  EXPECT_TRUE(client.SendLine("RETR 1"));
  EXPECT_EQ(client.ReadUntilClosed(),
            ("+OK " + std::to_string(kFirst.size()) + " octets").substr(0, 10));
}

TEST_F(ScriptedPop3FaultTest, QuitCutShortDeletesNothing) {
  server.CloseDuringReply("QUIT", 0);
  PlainPop3Client client = LoggedInClient();
  client.Command("DELE 1");
  EXPECT_TRUE(client.SendLine("QUIT"));
  EXPECT_EQ(client.ReadUntilClosed(), "");
  EXPECT_EQ(server.Mailbox().size(), 3u);
}

TEST_F(ScriptedPop3FaultTest, TrickleSendsPiecesAndTheReplyStaysIntact) {
  server.SetTrickle(1, 2ms);
  PlainPop3Client client(server.Port());
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(client.ReadLine(), std::string(ScriptedPop3Server::kGreeting));
  // 32 bytes in 1-byte pieces with 31 pauses of 2 ms.
  EXPECT_GE(std::chrono::steady_clock::now() - started, 60ms);
  EXPECT_TRUE(client.Command("USER alice").starts_with("+OK"));
  EXPECT_TRUE(client.Command("PASS secret").starts_with("+OK"));
  EXPECT_EQ(client.MultiLineCommand("TOP 1 0"),
            "+OK\r\nSubject: one\r\nFrom: a@example.org\r\n\r\n.\r\n");
}

TEST_F(ScriptedPop3FaultTest, DelayHoldsEveryReplyBack) {
  server.SetReplyDelay(150ms);
  PlainPop3Client client(server.Port());
  EXPECT_FALSE(client.ReadLine(50ms)) << "the greeting is delayed too";
  EXPECT_TRUE(client.ReadLine(2s));
  auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(client.Command("USER alice", 2s).starts_with("+OK"));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 150ms);
  server.ClearFaults();
  EXPECT_TRUE(client.Command("USER alice", 100ms).starts_with("+OK"));
}

TEST(ScriptedPop3ServerStop, StopEndsSessionsBlockedInAPause) {
  ScriptedPop3Server server;
  server.SetReplyDelay(std::chrono::minutes(10));
  PlainPop3Client client(server.Port());
  for (int i = 0; i < 500 && server.SessionsAccepted() == 0; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(server.SessionsAccepted(), 1u);
  auto started = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  EXPECT_EQ(client.ReadUntilClosed(), "");
  EXPECT_FALSE(PlainPop3Client(server.Port()).Connected());
}

}  // namespace
}  // namespace qb::test
