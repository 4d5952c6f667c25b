#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sstream>

#include "ScreenedSessionFixture.h"
#include "app/Headless.h"
#include "app/ListUpdate.h"
#include "app/Version.h"
#include "platform/FileStore.h"
#include "support/LoopbackSockets.h"
#include "support/ProgramEnvironment.h"
#include "support/QuillbrightdProcess.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

const std::string kSpam = "From: Spam <spam@example.org>\r\nSubject: offer\r\n\r\nBuy.\r\n";

class HeadlessRemoval : public ScreenedSessionTest {};

// quillbrightd's standard error after its first line, which must be the
// start line naming the program folder and the port.
std::string AfterStartLine(const std::string& errors, const std::string& folder,
                           std::uint16_t port) {
  std::string start = std::string("Quillbright ") + kProgramVersion + ": program folder " + folder +
                      "; port " + std::to_string(port) + "; list files found: ";
  std::size_t end = errors.find('\n');
  if (!errors.starts_with(start) || end == std::string::npos) return "no start line: " + errors;
  return errors.substr(end + 1);
}

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
  EXPECT_EQ(server.CountCommands("RETR 2"), 1u) << "only the copy before the deletion";
  EXPECT_EQ(remover.ScansRemoved(), 1);
  std::string scanLine = "quillbrightd: " + Account() +
                         ": 3 messages scanned, 1 ticked (virus 0, spam 0, blocked subject "
                         "0, blocked sender 1, blocked recipient 0)\n";
  ASSERT_TRUE(report.str().starts_with(scanLine)) << report.str();
  std::string logged = report.str().substr(scanLine.size());
  EXPECT_EQ(ReadWholeFile(form.State.ProgramFolder + "removed.log"),
            logged.substr(0, logged.size() - 1) + "\r\n")
      << "the report repeats the log's line";
  EXPECT_NE(logged.find("\t" + Account() +
                        "\tQB000002\t55\tblocked sender\tspam@\t"
                        "spam@example.org\toffer\t"),
            std::string::npos)
      << logged;
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
  std::string scanLine = "quillbrightd: " + account +
                         ": 2 messages scanned, 1 ticked (virus 0, spam 0, blocked subject 0, "
                         "blocked sender 1, blocked recipient 0)\n";
  std::string afterStart = AfterStartLine(end.Errors, home.Path().string() + "/", daemon.Port());
  EXPECT_TRUE(afterStart.starts_with(scanLine)) << end.Errors;
  std::optional<std::string> log = ReadWholeFile(home.File("removed.log"));
  ASSERT_TRUE(log.has_value());
  EXPECT_EQ(afterStart.substr(scanLine.size()), log->substr(0, log->size() - 2) + "\n")
      << "the removal's log line on standard error";
  EXPECT_FALSE(ConnectToLoopback(daemon.Port()).Valid());
}

TEST_F(Quillbrightd, WithoutAListServerSaysSoInOneLineAndServesOn) {
  QuillbrightdProcess daemon(home.Path().string(), {{"QUILLBRIGHT_UPDATE_URL", ""}});
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
  PlainPop3Client pop(daemon.Port());
  EXPECT_TRUE(pop.ReadLine().value_or("").starts_with("+OK POP3 Gateway ready"));
  ProcessResult end = daemon.Stop();
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  EXPECT_EQ(AfterStartLine(end.Errors, home.Path().string() + "/", daemon.Port()),
            "quillbright: " + std::string(NoListServerText) + "\n");
}

// A service manager must see a gateway that cannot listen: the reason on
// standard error and a status that is not 0, instead of a program that
// runs on screening nothing.
TEST_F(Quillbrightd, OnAPortAnotherProgramHoldsSaysWhyAndEndsWithStatusOne) {
  std::uint16_t port = 0;
  UniqueFd holder = ListenOnLoopback(port);
  ProcessResult end =
      RunProcess({QuillbrightdProgram()}, 20s, ProgramEnvironment(home.Path().string(), port));
  EXPECT_FALSE(end.TimedOut) << "it does not stay running";
  EXPECT_EQ(end.ExitCode, 1) << end.Errors;
  EXPECT_NE(end.Errors.find("cannot listen on port " + std::to_string(port) +
                            ", because another program listens there"),
            std::string::npos)
      << end.Errors;
}

// Both programs as a user starts them with a wrong option: one line naming
// it, status 2, no listener. The desktop program's Qt options stay Qt's.
TEST_F(Quillbrightd, AnUnknownOptionOrAMissingValueEndsBothProgramsWithStatusTwo) {
  const std::string daemon = QuillbrightdProgram();
  const std::string desktop = daemon.substr(0, daemon.size() - 1);
  const Environment noDisplay{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
  const Environment offscreen{{"QT_QPA_PLATFORM", "offscreen"}};
  struct Case {
    std::vector<std::string> argv;
    Environment environment;
    int exitCode;
    std::string errors;
  };
  const Case cases[] = {
      {{daemon, "--sign-in", "x"},
       {},
       2,
       "quillbrightd: unknown option '--sign-in'; see 'quillbrightd --help'\n"},
      {{daemon, "-shortcut"},
       {},
       2,
       "quillbrightd: unknown option '-shortcut'; see 'quillbrightd --help'\n"},
      {{desktop, "-shortcut", "x"},
       noDisplay,
       2,
       "quillbright: unexpected argument 'x'; see 'quillbright --help'\n"},
      {{desktop, "--bogus"},
       offscreen,
       2,
       "quillbright: unknown option '--bogus'; see 'quillbright --help'\n"},
      {{desktop, "-platform", "offscreen", "-V"}, offscreen, 0, ""},
  };
  for (const Case& c : cases) {
    Environment environment = c.environment;
    environment["QUILLBRIGHT_HOME"] = home.Path().string();
    ProcessResult end = RunProcess(c.argv, 20s, environment);
    EXPECT_EQ(end.ExitCode, c.exitCode) << c.argv[1] << ": " << end.Errors;
    // Qt may say something of its own before (no runtime folder offscreen).
    EXPECT_TRUE(end.Errors.ends_with(c.errors)) << c.argv[1] << ": " << end.Errors;
    if (c.exitCode == 0) {
      EXPECT_EQ(end.Output, "quillbright " + std::string(kProgramVersion) + "\n");
    }
  }
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
