#include <gtest/gtest.h>

#include <filesystem>

#include "RecordingWindow.h"
#include "app/FirstRun.h"
#include "app/StartUp.h"
#include "platform/FileStore.h"
#include "platform/MessageLoop.h"
#include "setup/untAccounts.h"
#include "setup/untusage.h"
#include "support/LoopbackSockets.h"
#include "support/ProgramEnvironment.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingShell.h"
#include "support/RegistrySandbox.h"
#include "support/TempFolder.h"
#include "support/ZoneResolver.h"

namespace qb {
namespace {

using Texts = std::vector<std::string>;

// The start-up's first-run steps with a registry, a Thunderbird home and a
// program folder of the test's own, the dialogs recorded in `events`.
class FirstRun : public RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    shell.OnOpen = [this](const std::string& path) { events.push_back("help " + path); };
  }
  void TearDown() override {
    MessageLoop::Instance().ProcessMessages();
    RegistrySandbox::TearDown();
  }
  void SetDefaultServer(const std::string& server) {
    const std::string key =
        std::string(StoreKeyPath(AccountStore::asInternetAccountManager)) + "\\Accounts\\00000001";
    PutString(key, "SMTP Display Name", "Joe");
    PutString(key, "POP3 Server", server);
    PutString(std::string(StoreKeyPath(AccountStore::asInternetAccountManager)),
              "Default Mail Account", "00000001");
  }
  void WriteOptions(const std::optional<std::string>& text) {
    std::filesystem::remove(home.File("options.txt"));
    if (text) {
      ASSERT_TRUE(WriteFileAtomically(home.File("options.txt"), *text));
    }
  }
  // Starts the program as the desktop view would wire it.
  void Start(const std::vector<std::string>& arguments) {
    application.OnMainFormCreated = [this](TApplication*, TForm1& form) {
      form.OnShowUsageDialog = [this](TForm1* sender) {
        events.push_back("usage opens");
        TfrmUsage usage;
        usage.OnSetupWizard = [sender](TfrmUsage*) { sender->SetupWizard1Click(); };
        usage.Button1Click();  // the user clicks "Click here"
        events.push_back("usage closes");
      };
      form.OnSetupWizard = [this](TForm1*) { events.push_back("setup wizard"); };
    };
    application.Start(arguments);
  }

  test::TempFolder home{"qb-first-run"};
  test::TempFolder thunderbird{"qb-no-thunderbird"};
  test::ScopedProgramEnvironment environment{
      test::ProgramEnvironment(home.Path().string(), test::PickFreeLoopbackPort())};
  test::ScopedVariable thunderbirdVariable{"QUILLBRIGHT_THUNDERBIRD_HOME",
                                           thunderbird.Path().string()};
  test::RecordingDialogs dialogs;
  test::RecordingShell shell;
  test::RecordingPopup popup;
  test::RecordingTray tray;
  test::ZoneResolver resolver;
  TApplication application{popup, tray, resolver};
  Texts events;
};

TEST_F(FirstRun, AShortcutStartOpensHelpThenUsageWithTheWizardAboveItThenThePrompt) {
  ASSERT_TRUE(WriteFileAtomically(home.File("quillbright.html"), "<html></html>"));
  SetDefaultServer("pop.example.org");
  Start({"-shortcut"});
  const Texts firstRun = {"help " + home.File("quillbright.html"), "usage opens", "setup wizard",
                          "usage closes", "setup wizard"};
  EXPECT_EQ(events, firstRun);
  Start({"-shortcut"});
  EXPECT_EQ(events, firstRun) << "a later start from the menu only shows the window";
}

TEST_F(FirstRun, AStartHiddenInTheTrayShowsNothingAndTheHelpFallsBackToTheExecutablesFolder) {
  SetDefaultServer("pop.example.org");
  Start({"-Shortcut"});
  EXPECT_EQ(events, Texts{}) << "not even the setup prompt, which only an interactive start shows";
  EXPECT_FALSE(FirstRunDone(home.Path().string()))
      << "the first interactive start is still to come";
  EXPECT_EQ(
      HelpFilePath(home.Path().string()),
      std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/quillbright.html");
}

TEST_F(FirstRun, ThePromptComesUnlessTheDefaultIsOnLocalhostOrOptionsSaysExactlyN) {
  struct Case {
    const char* server;
    std::optional<std::string> options;
    bool prompt;
  };
  const Case cases[] = {
      {"pop.example.org", std::nullopt, true}, {"pop.example.org", "", true},
      {"pop.example.org", "n\r\n", true},      {"pop.example.org", " N\r\n", true},
      {"pop.example.org", "Y\r\n", true},      {"pop.example.org", "N\r\n", false},
      {"pop.example.org", "N", false},         {"localhost", std::nullopt, false},
      {"localhost", "Y\r\n", false},           {"LOCALHOST", "n", true},
  };
  for (const Case& c : cases) {
    SetDefaultServer(c.server);
    WriteOptions(c.options);
    EXPECT_EQ(IsSetupPromptNeeded(home.Path().string()), c.prompt)
        << c.server << " / " << c.options.value_or("<missing>");
  }
}

}  // namespace
}  // namespace qb
