#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sstream>

#include "ScreenedSessionFixture.h"
#include "app/Headless.h"
#include "app/ListUpdate.h"
#include "platform/FileStore.h"
#include "support/LoopbackSockets.h"
#include "support/QuillbrightdProcess.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

const std::string kSpam = "From: Spam <spam@example.org>\r\nSubject: offer\r\n\r\nBuy.\r\n";

class HeadlessRemoval : public ScreenedSessionTest {};

TEST_F(HeadlessRemoval, ACompleteScanIsReportedAndItsTickedMessagesAreDeletedWithoutAClick) {
  form.State.SenderList = {"spam@"};
  server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
  server.AddMessage(kSpam);
  server.AddMessage(Message("From: two@example.org\r\nSubject: second"));
  std::ostringstream report;
  THeadlessRemover remover(form, report);
  std::optional<std::string> list, retr1, retr2;
  std::string retr3, quit;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 10s);
    retr1 = pop.MultiLineCommand("RETR 1");
    retr2 = pop.MultiLineCommand("RETR 2");
    retr3 = pop.Command("RETR 3");
    quit = pop.Command("QUIT");
  });
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value()) << "the held-back list is released by the remover";
  EXPECT_TRUE(list->starts_with("+OK"));
  EXPECT_EQ(MessageLines(list), 2) << "removed before the list is released";
  EXPECT_NE(retr1.value_or("").find("Subject: first"), std::string::npos);
  EXPECT_NE(retr2.value_or("").find("Subject: second"), std::string::npos)
      << "the client's message 2 is the server's message 3";
  EXPECT_TRUE(retr3.starts_with("-ERR")) << "the client was shown two messages";
  EXPECT_TRUE(quit.starts_with("+OK"));
  EXPECT_EQ(server.CountCommands("DELE 2"), 1u);
  EXPECT_EQ(server.Mailbox().size(), 2u);
  EXPECT_EQ(server.CountCommands("RETR 2"), 0u);
  EXPECT_EQ(remover.ScansRemoved(), 1);
  EXPECT_EQ(report.str(), "quillbrightd: " + Account() +
                              ": 3 messages scanned, 1 ticked (virus 0, spam 0, blocked subject "
                              "0, blocked sender 1, blocked recipient 0)\n");
}

TEST_F(HeadlessRemoval, AScanWithNothingNewIsNeitherReportedNorPressed) {
  server.AddMessage(Message("Subject: old"));
  ASSERT_TRUE(WriteFileAtomically(MarkerFile(), "QB000001\r\n"));
  std::ostringstream report;
  THeadlessRemover remover(form, report);
  std::optional<std::string> list;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 10s);
    pop.Command("QUIT");
  });
  ASSERT_TRUE(client.Finish());
  EXPECT_TRUE(list.has_value());
  EXPECT_EQ(remover.ScansRemoved(), 0);
  EXPECT_EQ(report.str(), "");
}

// The executable as a user runs it: its own program folder and port.
class Quillbrightd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(QuillbrightdProgram()))
        << "build the quillbrightd target: " << QuillbrightdProgram();
    for (const char* name : {"vlist.txt", "sublist.txt", "senlist.txt", "reclist.txt"}) {
      ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
    }
  }
  TempFolder home{"qb-daemon-home"};
};

TEST_F(Quillbrightd, RemovesABlockedSendersMessageAndStopsOnSigintWithStatusZero) {
  ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "spam@example.org\r\n"));
  ScriptedPop3Server server({"From: ok@example.org\r\nSubject: fine\r\n\r\nHello.\r\n", kSpam});
  QuillbrightdProcess daemon(home.Path().string());
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;

  PlainPop3Client pop(daemon.Port());
  ASSERT_TRUE(pop.Connected());
  std::string account = "alice#127.0.0.1:" + std::to_string(server.Port());
  ASSERT_TRUE(pop.LogIn(account, "secret"));
  std::string list = pop.MultiLineCommand("LIST", 10s).value_or("");
  EXPECT_TRUE(list.starts_with("+OK")) << list;
  EXPECT_EQ(MessageLines(list), 1);
  EXPECT_NE(pop.MultiLineCommand("RETR 1").value_or("").find("Hello."), std::string::npos);
  EXPECT_TRUE(pop.Command("QUIT").starts_with("+OK"));
  EXPECT_EQ(server.CountCommands("DELE 2"), 1u);
  EXPECT_EQ(server.Mailbox().size(), 1u);

  ProcessResult end = daemon.Stop(SIGINT);
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  EXPECT_FALSE(end.TimedOut);
  EXPECT_EQ(end.Errors, "quillbrightd: " + account +
                            ": 2 messages scanned, 1 ticked (virus 0, spam 0, blocked subject 0, "
                            "blocked sender 1, blocked recipient 0)\n");
  EXPECT_FALSE(ConnectToLoopback(daemon.Port()).Valid());
}

TEST_F(Quillbrightd, WithoutAListServerSaysSoInOneLineAndServesOn) {
  QuillbrightdProcess daemon(home.Path().string(), {{"QUILLBRIGHT_UPDATE_URL", ""}});
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
  PlainPop3Client pop(daemon.Port());
  EXPECT_TRUE(pop.ReadLine().value_or("").starts_with("+OK POP3 Gateway ready"));
  ProcessResult end = daemon.Stop();
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  EXPECT_EQ(end.Errors, "quillbright: " + std::string(NoListServerText) + "\n");
}

// A server that trickles its replies does not keep the program from its
// signal: the scan's replies are read from events, not waited for.
TEST_F(Quillbrightd, StopsOnSigtermWhileAServerTricklesItsReplies) {
  ScriptedPop3Server server({"Subject: one\r\n\r\nx\r\n", "Subject: two\r\n\r\ny\r\n"});
  QuillbrightdProcess daemon(home.Path().string());
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
  PlainPop3Client pop(daemon.Port());
  ASSERT_TRUE(pop.LogIn("alice#127.0.0.1:" + std::to_string(server.Port()), "secret"));
  server.SetTrickle(1, 200ms);
  ASSERT_TRUE(pop.SendLine("LIST"));
  ASSERT_TRUE(server.WaitForCommand("LIST", 5s));
  ProcessResult end = daemon.Stop(SIGTERM, 5s);
  EXPECT_FALSE(end.TimedOut) << "the program ends at once, not when the trickle ends";
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  server.Stop();
}

}  // namespace
}  // namespace qb::test
