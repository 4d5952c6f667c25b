#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sstream>

#include "QuillbrightdProgram.h"
#include "ScreenedSessionFixture.h"
#include "app/Headless.h"
#include "platform/FileStore.h"
#include "support/ChildProcess.h"
#include "support/LoopbackSockets.h"

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
  std::optional<std::string> list, retr1, retr3;
  std::string retr2, quit;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 10s);
    retr1 = pop.MultiLineCommand("RETR 1");
    retr2 = pop.Command("RETR 2");
    retr3 = pop.MultiLineCommand("RETR 3");
    quit = pop.Command("QUIT");
  });
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value()) << "the held-back list is released by the remover";
  EXPECT_TRUE(list->starts_with("+OK"));
  EXPECT_EQ(list->find("\r\n2 "), std::string::npos) << "removed before the list is released";
  EXPECT_NE(retr1.value_or("").find("Subject: first"), std::string::npos);
  EXPECT_EQ(retr2, "-ERR\r\n") << "asked for anyway";
  EXPECT_NE(retr3.value_or("").find("Subject: second"), std::string::npos);
  EXPECT_TRUE(quit.starts_with("+OK"));
  EXPECT_EQ(server.CountCommands("DELE 2"), 2u);
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
TEST(Quillbrightd, RemovesABlockedSendersMessageAndStopsOnSigintWithStatusZero) {
  std::string program = QuillbrightdProgram();
  ASSERT_TRUE(std::filesystem::exists(program)) << "build the quillbrightd target: " << program;
  TempFolder home("qb-daemon-home");
  for (const char* name : {"vlist.txt", "sublist.txt", "reclist.txt"}) {
    ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
  }
  ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "spam@example.org\r\n"));
  ScriptedPop3Server server({"From: ok@example.org\r\nSubject: fine\r\n\r\nHello.\r\n", kSpam});
  std::uint16_t port = PickFreeLoopbackPort();
  ChildProcess daemon({program}, {{"QUILLBRIGHT_HOME", home.Path().string()},
                                  {"QUILLBRIGHT_POP3_PORT", std::to_string(port)}});

  std::optional<PlainPop3Client> pop;
  for (int attempt = 0; attempt < 100 && !(pop && pop->Connected()); ++attempt) {
    if (attempt) std::this_thread::sleep_for(50ms);
    pop.emplace(port);
  }
  ASSERT_TRUE(pop->Connected()) << daemon.Wait(5s).Errors;
  std::string account = "alice#127.0.0.1:" + std::to_string(server.Port());
  ASSERT_TRUE(pop->LogIn(account, "secret"));
  std::string list = pop->MultiLineCommand("LIST", 10s).value_or("");
  EXPECT_TRUE(list.starts_with("+OK")) << list;
  EXPECT_EQ(list.find("\r\n2 "), std::string::npos);
  EXPECT_NE(pop->MultiLineCommand("RETR 1").value_or("").find("Hello."), std::string::npos);
  EXPECT_TRUE(pop->Command("QUIT").starts_with("+OK"));
  EXPECT_EQ(server.CountCommands("DELE 2"), 1u);
  EXPECT_EQ(server.Mailbox().size(), 1u);

  daemon.Signal(SIGINT);
  ProcessResult end = daemon.Wait(10s);
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  EXPECT_FALSE(end.TimedOut);
  EXPECT_EQ(end.Errors, "quillbrightd: " + account +
                            ": 2 messages scanned, 1 ticked (virus 0, spam 0, blocked subject 0, "
                            "blocked sender 1, blocked recipient 0)\n");
  EXPECT_FALSE(ConnectToLoopback(port).Valid());
}

}  // namespace
}  // namespace qb::test
