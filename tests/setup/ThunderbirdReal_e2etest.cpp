// A real Thunderbird reads a profile that the setup rewrote: started
// headless on it, it fetches from the gateway's port with the login the
// rewrite wrote, and its own lock keeps the setup away while it runs.
//
// Thunderbird talks to many servers at start. The test therefore runs in a
// network namespace of its own whose only interface is loopback, and the
// POP3 server that stands in for the gateway listens there too. Without
// Thunderbird (Debian package "thunderbird"), or without the right to make
// such a namespace, the test is skipped.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "platform/FileStore.h"
#include "platform/RegistryFile.h"
#include "setup/ThunderbirdAccounts.h"
#include "setup/ThunderbirdProfiles.h"
#include "support/ChildProcess.h"
#include "support/ProgramEnvironment.h"
#include "support/RecordingDialogs.h"
#include "support/RegistrySandbox.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

using namespace std::chrono_literals;

constexpr const char* kThunderbird = "/usr/lib/thunderbird/thunderbird";

constexpr const char* kProfilePrefs =
    "// Mozilla User Preferences\n"
    "user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n"
    "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
    "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
    "user_pref(\"mail.account.account1.server\", \"server1\");\n"
    "user_pref(\"mail.account.account2.identities\", \"id1\");\n"
    "user_pref(\"mail.account.account2.server\", \"server2\");\n"
    "user_pref(\"mail.identity.id1.fullName\", \"Ann Élodie\");\n"
    "user_pref(\"mail.identity.id1.useremail\", \"ann@example.org\");\n"
    "user_pref(\"mail.server.server1.hostname\", \"pop.example.org\");\n"
    "user_pref(\"mail.server.server1.login_at_startup\", true);\n"
    "user_pref(\"mail.server.server1.name\", \"Ann Élodie\");\n"
    "user_pref(\"mail.server.server1.port\", 995);\n"
    "user_pref(\"mail.server.server1.socketType\", 3);\n"
    "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
    "user_pref(\"mail.server.server1.userName\", \"ann\");\n"
    "user_pref(\"mail.server.server2.hostname\", \"mail.example.net\");\n"
    "user_pref(\"mail.server.server2.login_at_startup\", false);\n"
    "user_pref(\"mail.server.server2.name\", \"Work\");\n"
    "user_pref(\"mail.server.server2.socketType\", 2);\n"
    "user_pref(\"mail.server.server2.type\", \"pop3\");\n"
    "user_pref(\"mail.server.server2.userName\", \"bob\");\n";

// Moves this thread (and the threads and processes it starts from now on)
// into a new network namespace and brings its loopback interface up.
bool IsolateNetwork(std::string& why) {
  if (unshare(CLONE_NEWNET) != 0) {
    why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    return false;
  }
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  if (fd >= 0) close(fd);
  if (!up) why = std::string("loopback up: ") + std::strerror(errno);
  return up;
}

std::optional<TPrefsFile> PrefsOf(const std::string& folder) {
  std::optional<std::string> text = ReadWholeFile(folder + "prefs.js");
  return text ? TPrefsFile::Parse(*text) : std::nullopt;
}

class RealThunderbird : public RegistrySandbox {};

TEST_F(RealThunderbird, FetchesFromTheGatewayWithTheRewrittenLoginAndItsLockIsHonoured) {
  if (access(kThunderbird, X_OK) != 0) {
    GTEST_SKIP() << "Thunderbird is not installed (Debian package thunderbird): the rewritten "
                    "profile is not tried on a real Thunderbird";
  }
  std::string why;
  if (!IsolateNetwork(why)) GTEST_SKIP() << "no network namespace of our own (" << why << ")";

  test::TempFolder home("qb-real-thunderbird");
  const std::string folder = home.MakeFolder("tb/q1w2e3r4.default-esr") + "/";
  test::ScopedVariable thunderbirdHome("QUILLBRIGHT_THUNDERBIRD_HOME", home.File("tb"));
  ASSERT_TRUE(WriteFileAtomically(home.File("tb/profiles.ini"),
                                  "[Profile0]\nName=default-esr\nIsRelative=1\n"
                                  "Path=q1w2e3r4.default-esr\nDefault=1\n"));
  ASSERT_TRUE(WriteFileAtomically(folder + "prefs.js", kProfilePrefs, 0600));

  test::ScriptedPop3Server gateway;
  test::RecordingDialogs dialogs;
  TAccountList list = ListThunderbirdAccounts();
  ASSERT_EQ(SplitLines(list.names), (std::vector<std::string>{"Ann Élodie", "Work"}));
  TRewriteResult rewrite =
      RewriteThunderbirdAccounts(list.keys, SplitLines(list.names), {0}, gateway.Port());
  ASSERT_EQ(rewrite.Changed, 1u);

  std::cerr << "Thunderbird " << kThunderbird << " on profile " << folder << ", gateway port "
            << gateway.Port() << "\n";
  test::ChildProcess thunderbird({kThunderbird, "--headless", "--profile", folder},
                                 {{"HOME", home.Path().string()}, {"MOZ_HEADLESS", "1"}});
  const bool fetched = gateway.WaitForCommand("USER ann#pop.example.org:995/tls", 120s);
  EXPECT_TRUE(fetched) << "commands seen: " << gateway.Commands().size();

  // While it runs, the profile is Thunderbird's: the setup leaves it alone.
  EXPECT_TRUE(IsProfileInUse(folder));
  const std::string whileRunning = ReadWholeFile(folder + "prefs.js").value_or("");
  TRewriteResult refused =
      RewriteThunderbirdAccounts(list.keys, SplitLines(list.names), {1}, gateway.Port());
  ASSERT_EQ(refused.Failed.size(), 1u);
  EXPECT_NE(refused.Failed[0].Reason.find("Close Thunderbird first"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(folder + "prefs.js").value_or(""), whileRunning);

  thunderbird.Signal(SIGTERM);
  test::ProcessResult end = thunderbird.Wait(60s);
  EXPECT_FALSE(end.TimedOut);
  EXPECT_FALSE(std::filesystem::exists(folder + "Invalidprefs.js"))
      << "Thunderbird found prefs.js unreadable";

  // Thunderbird wrote prefs.js back itself, with our values in it.
  std::optional<TPrefsFile> written = PrefsOf(folder);
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->String("mail.server.server1.hostname"), "localhost");
  EXPECT_EQ(written->String("mail.server.server1.userName"), "ann#pop.example.org:995/tls");
  EXPECT_EQ(written->Int("mail.server.server1.port"), gateway.Port());
  EXPECT_EQ(written->Int("mail.server.server1.socketType"), 0);
  EXPECT_EQ(written->String("mail.server.server2.hostname"), "mail.example.net");

  // "Undo setup" on the file as Thunderbird wrote it.
  EXPECT_FALSE(IsProfileInUse(folder));
  EXPECT_EQ(UndoThunderbirdSetup(), 1u);
  std::optional<TPrefsFile> undone = PrefsOf(folder);
  ASSERT_TRUE(undone.has_value());
  EXPECT_EQ(undone->String("mail.server.server1.hostname"), "pop.example.org");
  EXPECT_EQ(undone->String("mail.server.server1.userName"), "ann");
  EXPECT_EQ(undone->Int("mail.server.server1.port"), 995);
  EXPECT_EQ(undone->Int("mail.server.server1.socketType"), 3);
}

}  // namespace
}  // namespace qb
