#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/RegistryFile.h"
#include "setup/AccountBackup.h"
#include "setup/ThunderbirdAccounts.h"
#include "setup/ThunderbirdPrefs.h"
#include "setup/ThunderbirdProfiles.h"
#include "support/ChildProcess.h"
#include "support/RecordingDialogs.h"
#include "support/RegistrySandbox.h"
#include "support/ThunderbirdProfile.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

TPrefsFile Prefs(const std::string& text) {
  std::optional<TPrefsFile> prefs = TPrefsFile::Parse(text);
  EXPECT_TRUE(prefs.has_value()) << text;
  return prefs.value_or(*TPrefsFile::Parse(""));
}

// The lines of `after` that are not in `before`.
Texts ChangedLines(const std::string& before, const std::string& after) {
  Texts old = SplitLines(before), now = SplitLines(after), changed;
  std::copy_if(now.begin(), now.end(), std::back_inserter(changed), [&](const std::string& line) {
    return std::find(old.begin(), old.end(), line) == old.end();
  });
  return changed;
}

TEST(ThunderbirdPrefsTest, ReadsEveryValueKindAndKeepsTheRestOfTheTextOnAChange) {
  TPrefsFile prefs = Prefs(test::kSamplePrefs);
  EXPECT_EQ(prefs.String("mail.server.server1.name"), "Ann \xC3\x89lodie <ann@example.org>");
  EXPECT_EQ(prefs.String("mail.server.server2.name"), "Büro – Köln ✉");
  EXPECT_EQ(prefs.String("mail.server.server2.userName"), "bob\\x");
  EXPECT_EQ(prefs.String("mail.account.account3.server"), "server3") << "odd spacing";
  EXPECT_EQ(prefs.Int("mail.server.server1.port"), 995);
  EXPECT_FALSE(prefs.Has("commented.out"));
  EXPECT_EQ(prefs.Int("mail.server.server1.name"), std::nullopt);

  prefs.SetString("mail.server.server2.userName", "new \"quoted\"\\");
  prefs.SetInt("mail.server.server2.port", 1110);
  EXPECT_EQ(prefs.String("mail.server.server2.userName"), "new \"quoted\"\\");
  EXPECT_EQ(ChangedLines(test::kSamplePrefs, prefs.Text()),
            (Texts{"\tuser_pref(\"mail.server.server2.userName\",   \"new \\\"quoted\\\"\\\\\");",
                   "user_pref(\"mail.server.server2.port\", 1110);"}));
  prefs.Remove("mail.server.server2.port");
  prefs.SetRaw("mail.server.server2.userName", "\"bob\\\\x\"");
  EXPECT_EQ(prefs.Text(), test::kSamplePrefs);
}

TEST(ThunderbirdPrefsTest, TheLastStatementOfANameWinsAndEveryOneIsChanged) {
  TPrefsFile prefs = Prefs("user_pref(\"a\", 1);\npref(\"a\", 2, sticky);\nuser_pref('b', 'x');");
  EXPECT_EQ(prefs.Int("a"), 2);
  EXPECT_EQ(prefs.String("b"), "x");
  prefs.SetInt("a", 3);
  EXPECT_EQ(prefs.Text(), "user_pref(\"a\", 3);\npref(\"a\", 3, sticky);\nuser_pref('b', 'x');");
  prefs.Remove("a");
  EXPECT_EQ(prefs.Text(), "user_pref('b', 'x');");
  prefs.SetString("c", "\xF0\x9F\x93\xA7");
  EXPECT_EQ(prefs.Text(), "user_pref('b', 'x');\nuser_pref(\"c\", \"\xF0\x9F\x93\xA7\");\n");
  EXPECT_EQ(Prefs("user_pref(\"d\", \"\\ud83d\\udce7\");").String("d"), "\xF0\x9F\x93\xA7");
}

TEST(ThunderbirdPrefsTest, TextThatThunderbirdCouldNotReadIsRefused) {
  for (const char* text : {"user_pref(\"a\", \"open);", "user_pref(\"a\", 1)", "/* open",
                           "user_pref(a, 1);", "garbage", "user_pref(\"a\" 1);"}) {
    EXPECT_FALSE(TPrefsFile::Parse(text).has_value()) << text;
  }
  EXPECT_TRUE(TPrefsFile::Parse("").has_value());
  EXPECT_TRUE(TPrefsFile::Parse("// only a comment").has_value());
}

TEST(ThunderbirdProfilesTest, TheDefaultProfileComesFirst) {
  struct Case {
    const char* ini;
    Texts names;
  };
  const Case cases[] = {
      {"[Profile0]\nName=a\nPath=a.x\n[Profile1]\nName=b\nPath=b.x\nDefault=1\n", {"b", "a"}},
      {"[Profile0]\nName=a\nPath=a.x\nDefault=1\n[Profile1]\nName=b\nPath=b.x\n"
       "[InstallFA12]\nDefault=b.x\nLocked=1\n",
       {"b", "a"}},
      {"[Profile0]\r\nName=a\r\nPath=a.x\r\n[Profile1]\r\nName=b\r\nPath=b.x\r\n", {"a", "b"}},
      {"[General]\nVersion=2\n", {}},
  };
  for (const Case& c : cases) {
    std::vector<TThunderbirdProfile> profiles = ParseProfilesIni(c.ini, "/home/t/.thunderbird/");
    Texts names;
    for (const TThunderbirdProfile& p : profiles) names.push_back(p.Name);
    EXPECT_EQ(names, c.names) << c.ini;
    if (!profiles.empty()) {
      EXPECT_TRUE(profiles.front().IsDefault);
    }
  }
  std::vector<TThunderbirdProfile> absolute =
      ParseProfilesIni("[Profile0]\nName=a\nIsRelative=0\nPath=/srv/tb/a\n", "/home/t/.tb/");
  ASSERT_EQ(absolute.size(), 1u);
  EXPECT_EQ(absolute[0].Folder, "/srv/tb/a/");
  EXPECT_EQ(ParseProfilesIni("[Profile0]\nPath=p\n", "/h/")[0].Folder, "/h/p/");
}

TEST(ThunderbirdLoginTest, TheRealServersPortAndTlsGoIntoTheLogin) {
  struct Case {
    std::int64_t port, socketType;
    const char* login;
  };
  for (const Case& c :
       {Case{110, 0, "ann#pop.example.org"}, Case{995, 3, "ann#pop.example.org:995/tls"},
        Case{110, 2, "ann#pop.example.org/starttls"}, Case{110, 1, "ann#pop.example.org"},
        Case{1110, 0, "ann#pop.example.org:1110"}}) {
    TThunderbirdServer server;
    server.User = "ann";
    server.Host = "pop.example.org";
    server.Port = c.port;
    server.SocketType = c.socketType;
    EXPECT_EQ(GatewayLogin(server), c.login);
  }
  TPrefsFile prefs = Prefs("user_pref(\"mail.server.s.socketType\", 3);");
  EXPECT_EQ(ReadServer(prefs, "s").Port, 995) << "Thunderbird's default port for TLS";
}

class ThunderbirdStoreTest : public RegistrySandbox {
 protected:
  TAccountList Accounts() { return ListThunderbirdAccounts(); }
  TRewriteResult Rewrite(const std::vector<std::size_t>& chosen) {
    TAccountList list = Accounts();
    return RewriteAccountsForGateway(AccountStore::asThunderbird, list.keys, SplitLines(list.names),
                                     chosen, Folder(), 1110);
  }
  std::string Value(const std::string& key, const char* name) {
    return *TPrefsFile::Parse(tb.Prefs())->Raw("mail.server." + key + "." + name);
  }

  test::ThunderbirdHomeFolder tb;
  test::RecordingDialogs dialogs;
};

TEST_F(ThunderbirdStoreTest, IsProbedAfterTheRegistryAndListsEveryAccountOfEveryProfile) {
  EXPECT_EQ(DetectAccountStore(), AccountStore::asThunderbird);
  EXPECT_EQ(GetDefaultAccountKey(AccountStore::asThunderbird), tb.Key("server1"));
  WriteFileAtomically(tb.Home() + "other.second/prefs.js",
                      "user_pref(\"mail.accountmanager.accounts\", \"account1\");\n"
                      "user_pref(\"mail.account.account1.server\", \"server1\");\n"
                      "user_pref(\"mail.server.server1.name\", \"Second\");\n");
  TAccountList list = Accounts();
  EXPECT_EQ(list.keys, (Texts{tb.Key("server1"), tb.Key("server2"), tb.Key("server3"),
                              tb.Key("server4"), tb.Home() + "other.second/|server1"}));
  EXPECT_EQ(list.names,
            "Ann \xC3\x89lodie <ann@example.org>\r\nBüro – Köln ✉\r\nIMAP\r\nAlready screened\r\n"
            "Second (profile second)\r\n");
  auto read = [](const std::string& key, const char* name) {
    return ReadAccountString(AccountStore::asThunderbird, key, name);
  };
  EXPECT_EQ(read(tb.Key("server2"), "POP3 Server"), "mail.example.net");
  EXPECT_EQ(read(tb.Key("server3"), "POP3 Server"), "") << "IMAP is no POP3 account";
  EXPECT_EQ(read(tb.Key("server4"), "POP3 Server"), "localhost");
  EXPECT_EQ(read(tb.Key("server2"), "POP3 User Name"), "bob\\x");

  PutString("Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001",
            "SMTP Display Name", "Joe");
  EXPECT_EQ(DetectAccountStore(), AccountStore::asInternetAccountManager)
      << "a registry store holding the default account comes first";
}

TEST_F(ThunderbirdStoreTest, RewritesChosenPop3AccountsOnlyTheirLinesChangeAndABackupIsNamed) {
  const std::string before = tb.Prefs();
  TRewriteResult result = Rewrite({0, 1, 2, 3});
  EXPECT_EQ(result.Changed, 2u);
  ASSERT_EQ(result.Failed.size(), 1u);
  EXPECT_EQ(result.Failed[0].Account, "IMAP");

  EXPECT_EQ(ChangedLines(before, tb.Prefs()),
            (Texts{"user_pref(\"mail.server.server1.hostname\", \"localhost\");",
                   "user_pref(\"mail.server.server1.port\", 1110);",
                   "user_pref(\"mail.server.server1.socketType\", 0);",
                   "user_pref(\"mail.server.server1.userName\", \"ann#pop.example.org:995/tls\");",
                   "user_pref(\"mail.server.server2.hostname\",\"localhost\");   // work",
                   "user_pref(\"mail.server.server2.socketType\", 0);",
                   "user_pref(\"mail.server.server2.authMethod\", 3);",
                   "\tuser_pref(\"mail.server.server2.userName\",   "
                   "\"bob\\\\x#mail.example.net/starttls\");",
                   "user_pref(\"mail.server.server2.port\", 1110);"}));
  EXPECT_EQ(SplitLines(tb.Prefs()).size(), SplitLines(before).size() + 1) << "one port added";

  std::vector<std::string> backups = ThunderbirdBackups(tb.Profile());
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(ReadWholeFile(backups[0]), before);
  struct stat info {};
  ASSERT_EQ(stat(tb.PrefsPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "prefs.js keeps its permissions";
  EXPECT_EQ(dialogs.MessageTexts(),
            (Texts{"No modification was done to Already screened",
                   "Thunderbird's settings were saved to " + backups[0] +
                       " before the change; \"Undo setup\" puts them back."}));
  EXPECT_EQ(Value("server4", "userName"), "\"eve#pop.example.com\"");
}

TEST_F(ThunderbirdStoreTest, UndoGivesBackTheSamePreferencesFromTheNewestBackup) {
  const std::string before = tb.Prefs();
  const std::map<std::string, std::string> original = TPrefsFile::Parse(before)->All();
  Rewrite({0});
  Rewrite({1});  // a second backup, newer, where server1 is already rewritten
  ASSERT_EQ(ThunderbirdBackups(tb.Profile()).size(), 2u);
  dialogs.Clear();
  EXPECT_EQ(UndoThunderbirdSetup(), 1u) << "the newest backup holds only server2 unchanged";
  EXPECT_EQ(Value("server2", "hostname"), "\"mail.example.net\"");
  EXPECT_EQ(Value("server1", "hostname"), "\"localhost\"");
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_NE(dialogs.MessageTexts()[0].find("Büro – Köln ✉"), std::string::npos);

  std::filesystem::remove(ThunderbirdBackups(tb.Profile()).back());
  EXPECT_EQ(UndoThunderbirdSetup(), 1u);
  EXPECT_EQ(TPrefsFile::Parse(tb.Prefs())->All(), original);
  EXPECT_EQ(tb.Prefs(), before) << "nothing else of the file moved";

  dialogs.Clear();
  EXPECT_EQ(UndoThunderbirdSetup(), 0u);
  EXPECT_EQ(dialogs.MessageTexts(), Texts{NothingToUndoText()});
}

TEST_F(ThunderbirdStoreTest, AProfileThatThunderbirdHoldsIsNotTouched) {
  const std::string before = tb.Prefs();
  // A running Thunderbird keeps a lock on .parentlock; another process holds it here.
  WriteFileAtomically(tb.Profile() + ".parentlock", "");
  test::ChildProcess holder(
      {"python3", "-c",
       "import fcntl,sys,time\nf=open(sys.argv[1],'r+')\nfcntl.lockf(f,fcntl.LOCK_EX)\n"
       "print('locked',flush=True)\ntime.sleep(60)",
       tb.Profile() + ".parentlock"});
  for (int i = 0; i < 200 && !IsProfileInUse(tb.Profile()); ++i) usleep(20000);
  ASSERT_TRUE(IsProfileInUse(tb.Profile()));
  TRewriteResult result = Rewrite({0, 1});
  EXPECT_EQ(result.Changed, 0u);
  ASSERT_EQ(result.Failed.size(), 2u);
  EXPECT_EQ(result.Failed[0].Reason, "Thunderbird is running with the profile " + tb.Profile() +
                                         ". Close Thunderbird first, then try again.");
  EXPECT_EQ(tb.Prefs(), before);
  EXPECT_TRUE(ThunderbirdBackups(tb.Profile()).empty());
  holder.Signal(SIGKILL);
  holder.Wait(5s);
  EXPECT_FALSE(IsProfileInUse(tb.Profile()));

  // The "lock" link names the process that holds the profile.
  std::filesystem::create_symlink("127.0.0.1:+" + std::to_string(getpid()), tb.Profile() + "lock");
  EXPECT_TRUE(IsProfileInUse(tb.Profile()));
  std::filesystem::remove(tb.Profile() + "lock");
  std::filesystem::create_symlink("127.0.0.1:+" + std::to_string(holder.Pid()),
                                  tb.Profile() + "lock");
  EXPECT_FALSE(IsProfileInUse(tb.Profile())) << "a stale link after a crash";
}

TEST_F(ThunderbirdStoreTest, AUserJsThatWouldUndoTheChangeIsReported) {
  WriteFileAtomically(tb.Profile() + "user.js",
                      "user_pref(\"mail.server.server1.hostname\", \"pop.example.org\");\n"
                      "user_pref(\"mail.server.server3.hostname\", \"imap.example.org\");\n");
  Rewrite({0});
  ASSERT_EQ(dialogs.MessageTexts().size(), 2u);
  EXPECT_EQ(dialogs.MessageTexts()[1],
            tb.Profile() +
                "user.js sets mail.server.server1.hostname. Thunderbird reads it at "
                "every start and would undo this change: remove those lines from user.js.");
  EXPECT_EQ(dialogs.MessageBoxes()[1].Type, TMsgDlgType::mtWarning);
}

TEST_F(ThunderbirdStoreTest, AccountsTheGatewayCannotServeAreFailuresAndNothingIsWritten) {
  std::string text = test::kSamplePrefs;
  text += "user_pref(\"mail.server.server1.authMethod\", 10);\n";
  tb.WritePrefs(text);
  TRewriteResult result = Rewrite({0});
  ASSERT_EQ(result.Failed.size(), 1u);
  EXPECT_NE(result.Failed[0].Reason.find("OAuth2"), std::string::npos);
  EXPECT_EQ(tb.Prefs(), text);
  EXPECT_TRUE(ThunderbirdBackups(tb.Profile()).empty());

  TAccountList list = Accounts();
  tb.WritePrefs(text + "user_pref(\"broken\", ");  // spoilt after the dialog listed it
  result = RewriteAccountsForGateway(AccountStore::asThunderbird, list.keys, SplitLines(list.names),
                                     {0}, Folder(), 1110);
  ASSERT_EQ(result.Failed.size(), 1u);
  EXPECT_EQ(result.Failed[0].Reason, "Cannot open file " + tb.PrefsPath());

  // A key without its profile folder names no file: never a prefs.js of the working folder.
  result = RewriteThunderbirdAccounts({"|server1", "server1"}, {"Stray", "Bare"}, {0, 1}, 1110);
  EXPECT_EQ(result.Failed.size(), 2u);
  EXPECT_EQ(result.Failed[0].Reason, "it is not a Thunderbird account");
}

TEST_F(ThunderbirdStoreTest, ABackupThatCannotBeWrittenStopsBeforeAnyChange) {
  const std::string before = tb.Prefs();
  if (geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
  chmod(tb.Profile().c_str(), 0555);
  TAccountList list = Accounts();
  EXPECT_THROW(RewriteAccountsForGateway(AccountStore::asThunderbird, list.keys,
                                         SplitLines(list.names), {0}, Folder(), 1110),
               EBackupError);
  chmod(tb.Profile().c_str(), 0755);
  EXPECT_EQ(tb.Prefs(), before);
}

}  // namespace
}  // namespace qb
