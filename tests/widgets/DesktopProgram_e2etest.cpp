// quillbright as a user runs it, on a private X display (xvfb-run) with a
// tray host, between a real fetchmail and a real Dovecot.
// The test clicks "Remove Checked" with the X server's mouse where the
// program says its button is; the blocked sender's message is deleted on
// the server and the others arrive byte for byte.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/FileStore.h"
#include "support/ChildProcess.h"
#include "support/DovecotServer.h"
#include "support/LoopbackSockets.h"
#include "support/MailClients.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string BuildBin(const char* name) {
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path().parent_path() / "bin" / name).string();
}

std::string Message(const std::string& from, int i) {
  std::string text = "From: " + from + "\r\nTo: alice@example.org\r\nSubject: message " +
                     std::to_string(i) + "\r\nMessage-ID: <" + std::to_string(i) +
                     "@example.org>\r\n\r\n";
  for (int line = 0; line < 120 * i; ++line) {
    text += (line % 11 == 0 ? "." : "") + std::string("line ") + std::to_string(line) + "\r\n";
  }
  return text;
}

// "Remove Checked X Y" once the program has written it: the button's centre
// on the screen while it is enabled and shown.
std::optional<std::pair<int, int>> WaitForButton(const std::string& reportFile,
                                                 ChildProcess& program) {
  for (int attempt = 0; attempt < 1200 && program.Running(); ++attempt) {
    std::optional<std::string> text = ReadWholeFile(reportFile);
    std::istringstream words(text.value_or(""));
    std::string remove, checked;
    int x = 0, y = 0;
    if (words >> remove >> checked >> x >> y) return std::make_pair(x, y);
    std::this_thread::sleep_for(50ms);
  }
  return std::nullopt;
}

// Runs the current test again in a child under xvfb-run, so that the
// program, the tray host and the mouse clicks all meet on a private display
// and never on the desktop of whoever runs the suite. True in that child.
bool OnPrivateDisplay() {
  if (const char* marker = std::getenv("QB_PRIVATE_DISPLAY"); marker && *marker == '1') return true;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  ProcessResult run =
      RunProcess({"xvfb-run", "-a", "-s", "-screen 0 1024x768x24", self,
                  std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
                 240s, {{"QB_PRIVATE_DISPLAY", "1"}});
  EXPECT_EQ(run.ExitCode, 0) << run.Output << run.Errors;
  EXPECT_NE(run.Output.find("[  PASSED  ] 1 test."), std::string::npos) << run.Output;
  return false;
}

TEST(DesktopProgramRealPeers, RemoveCheckedClickedOnTheWindowDeletesTheBlockedMailOnly) {
  if (!OnPrivateDisplay()) return;
  std::string program = BuildBin("quillbright");
  ASSERT_TRUE(std::filesystem::exists(program)) << "build the quillbright target: " << program;

  DovecotServer dovecot;
  std::vector<std::string> good = {Message("Friend <friend@example.org>", 1),
                                   Message("colleague@example.org", 3)};
  dovecot.AddMessage("alice", good[0]);
  dovecot.AddMessage("alice", Message("Pusher <pills@spam.example>", 2));
  dovecot.AddMessage("alice", good[1]);
  dovecot.Start();

  TempFolder home("qb-desktop-e2e");
  for (const char* name : {"vlist.txt", "sublist.txt", "reclist.txt"}) {
    ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
  }
  ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "pills@spam.example\r\n"));
  ASSERT_TRUE(WriteFileAtomically(home.File("options.txt"), "N\r\n"));  // no setup prompt
  std::string report = home.File("button.txt");

  ChildProcess tray({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                     "--width", "100", "--heighttype", "pixel", "--height", "24"});
  std::this_thread::sleep_for(500ms);  // a tray that comes later only shows the window at start
  std::uint16_t port = PickFreeLoopbackPort();
  ChildProcess desktop({program}, {{"QUILLBRIGHT_HOME", home.Path().string()},
                                   {"QUILLBRIGHT_POP3_PORT", std::to_string(port)},
                                   {"QUILLBRIGHT_UPDATE_URL", "http://127.0.0.9"},
                                   {"QUILLBRIGHT_THUNDERBIRD_HOME", home.File("no-thunderbird")},
                                   {"QUILLBRIGHT_BUTTON_REPORT", report}});
  bool listening = false;
  for (int attempt = 0; attempt < 200 && !listening; ++attempt) {
    if (attempt) std::this_thread::sleep_for(50ms);
    listening = ConnectToLoopback(port).Valid();
  }
  ASSERT_TRUE(listening) << desktop.Wait(5s).Errors;

  std::string account = "alice#127.0.0.1:" + std::to_string(dovecot.Port());
  Fetchmail fetchmail({.User = account, .Password = "secret", .Port = port, .Keep = true});
  std::unique_ptr<ChildProcess> fetching = fetchmail.Start();
  std::optional<std::pair<int, int>> button = WaitForButton(report, desktop);
  ASSERT_TRUE(button) << "the review list never offered Remove Checked\n"
                      << desktop.Wait(5s).Errors;
  EXPECT_TRUE(fetching->Running()) << "the list must wait for Remove Checked";
  ProcessResult click = RunProcess({"xdotool", "mousemove", "--sync", std::to_string(button->first),
                                    std::to_string(button->second), "click", "1"},
                                   20s);
  ASSERT_EQ(click.ExitCode, 0) << click.Errors;

  ProcessResult fetched = fetching->Wait(90s);
  EXPECT_FALSE(fetched.TimedOut) << fetched.Errors;
  std::vector<std::string> delivered = fetchmail.Delivered();
  ASSERT_EQ(delivered.size(), good.size()) << fetched.Errors << fetched.Output;
  for (std::size_t i = 0; i < good.size(); ++i) {
    EXPECT_TRUE(delivered[i].ends_with(good[i])) << "message " << i << " arrived changed";
  }
  EXPECT_EQ(dovecot.Messages("alice"), good) << "only the blocked sender's message is deleted";

  desktop.Signal(SIGTERM);
  ProcessResult end = desktop.Wait(10s);
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  tray.Signal(SIGTERM);
  tray.Wait(5s);
}

}  // namespace
}  // namespace qb::test
