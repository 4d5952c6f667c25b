#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/FileStore.h"
#include "setup/SetupOptions.h"
#include "setup/untformaccount.h"
#include "setup/untusage.h"
#include "support/ProgramEnvironment.h"
#include "support/RecordingDialogs.h"
#include "support/RegistrySandbox.h"
#include "support/TempFolder.h"
#include "support/ThunderbirdProfile.h"

namespace qb {
namespace {

using Texts = std::vector<std::string>;
constexpr AccountStore kIam = AccountStore::asInternetAccountManager;

std::string AccountKeyPath(const std::string& account) {
  return std::string(StoreKeyPath(kIam)) + "\\Accounts\\" + account;
}

Texts ItemTexts(const TForm2& form) {
  Texts texts;
  for (const TCheckListItem& item : form.CheckListBox1) texts.push_back(item.Text);
  return texts;
}

class SetupDialogsTest : public RegistrySandbox {
 protected:
  void AddAccount(const std::string& account, const std::string& name, const std::string& server) {
    PutString(AccountKeyPath(account), "Account Name", name);
    PutString(AccountKeyPath(account), "SMTP Display Name", "Joe");
    PutString(AccountKeyPath(account), "POP3 Server", server);
    PutString(AccountKeyPath(account), "POP3 User Name", "joe");
  }
  std::string Server(const std::string& account) {
    return ReadAccountString(kIam, account, "POP3 Server");
  }
  std::string Options() { return ReadWholeFile(Folder() + "options.txt").value_or("<missing>"); }
  // A form as the view runs it: set up, and counting the closes it asks for.
  TForm2& Open(const std::string& programFolder = {}) {
    dialog = std::make_unique<TForm2>(programFolder.empty() ? Folder() : programFolder, 110);
    dialog->OnCloseRequest = [this](TForm2*) { ++closeRequests; };
    dialog->FormCreate();
    return *dialog;
  }

  test::TempFolder noThunderbird{"qb-no-thunderbird"};
  test::ScopedVariable thunderbirdHome{"QUILLBRIGHT_THUNDERBIRD_HOME",
                                       noThunderbird.Path().string()};
  test::RecordingDialogs dialogs;
  std::unique_ptr<TForm2> dialog;
  int closeRequests = 0;
};

TEST_F(SetupDialogsTest, ListsOnlyPop3AccountsAllTickedAlignedWithTheirKeys) {
  AddAccount("00000001", "News only", "");
  AddAccount("00000002", "Home", "pop.home.example");
  AddAccount("00000003", "Work", "pop.work.example");
  TForm2& form = Open();
  EXPECT_EQ(ItemTexts(form), (Texts{"Home", "Work"}));
  EXPECT_EQ(form.AccountKeys(), (Texts{"00000002", "00000003"}));
  for (const TCheckListItem& item : form.CheckListBox1) EXPECT_TRUE(item.Checked);
  EXPECT_TRUE(form.Button1Enabled);
  EXPECT_TRUE(form.Panel1Visible);
}

TEST_F(SetupDialogsTest, WithoutAnyPop3AccountOnlyTheManualInstructionsRemain) {
  AddAccount("00000001", "News only", "");
  TForm2& form = Open();
  EXPECT_TRUE(form.CheckListBox1.empty());
  EXPECT_FALSE(form.Button1Enabled);
  EXPECT_FALSE(form.Panel1Visible);
  EXPECT_NE(Form2Label3Text(110).find("POP3 Account Name: <accountname>#<servername>"),
            std::string::npos);
  EXPECT_NE(Form2Label3Text(1110).find("In Thunderbird: Account Settings"), std::string::npos);
  EXPECT_NE(Form2Label3Text(1110).find("Port 1110"), std::string::npos);
}

TEST_F(SetupDialogsTest, ChangingTheTickedAccountsWarnsToRestartAndCloses) {
  AddAccount("00000001", "Home", "pop.home.example");
  AddAccount("00000002", "Work", "pop.work.example");
  TForm2& form = Open();
  form.SetChecked(1, false);
  form.Button1Click();
  EXPECT_EQ(Server("00000001"), "localhost");
  EXPECT_EQ(Server("00000002"), "pop.work.example");
  EXPECT_EQ(dialogs.MessageTexts(), Texts{kRestartWarningText});
  EXPECT_EQ(dialogs.MessageBoxes()[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(form.ModalResult, 1);
  EXPECT_EQ(closeRequests, 1);
  EXPECT_EQ(Options(), "Y\r\n");
}

TEST_F(SetupDialogsTest, NothingChangedMeansNoRestartWarning) {
  struct Case {
    const char* name;
    const char* server;
    bool untickAll;
    Texts boxes;
  };
  const Case cases[] = {
      {"unticked", "pop.home.example", true, {}},
      {"already on localhost", "localhost", false, {"No modification was done to Home"}},
  };
  for (const Case& c : cases) {
    AddAccount("00000001", "Home", c.server);
    closeRequests = 0;
    TForm2& form = Open();
    if (c.untickAll) form.SetChecked(0, false);
    dialogs.Clear();
    form.Button1Click();
    EXPECT_EQ(Server("00000001"), c.server) << c.name;
    EXPECT_EQ(dialogs.MessageTexts(), c.boxes) << c.name;
    EXPECT_EQ(closeRequests, 1) << c.name << ": the dialog closes";
  }
}

TEST_F(SetupDialogsTest, ABackupErrorIsShownAndTheDialogStaysOpen) {
  AddAccount("00000001", "Home", "pop.home.example");
  TForm2& form = Open(Folder() + "missing/");
  form.Button1Click();
  ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
  EXPECT_EQ(dialogs.MessageBoxes()[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(Server("00000001"), "pop.home.example");
  EXPECT_EQ(closeRequests, 0);
  EXPECT_EQ(form.ModalResult, 0);
}

TEST_F(SetupDialogsTest, AValueThatCannotBeWrittenNamesTheAccountAndIsNoSuccess) {
  AddAccount("00000001", "Home", "pop.home.example");
  TForm2& form = Open();
  // The registry's file becomes a folder: every later change fails to save.
  std::filesystem::remove(RegistryFile());
  std::filesystem::create_directory(RegistryFile());
  form.Button1Click();
  EXPECT_EQ(dialogs.MessageTexts(),
            Texts{"These accounts could not be changed:\nHome: its settings could not be written"});
  EXPECT_EQ(Server("00000001"), "pop.home.example");
  EXPECT_EQ(closeRequests, 0) << "the dialog stays open";
}

TEST_F(SetupDialogsTest, ClosingWritesExactlyOneLineWhateverTheFileHeldBefore) {
  ASSERT_TRUE(WriteFileAtomically(Folder() + "options.txt", "N\r\nextra\r\n"));
  TForm2& form = Open();
  form.Button2Click();
  form.FormClose();  // the view's close event after the button: runs once only
  EXPECT_EQ(Options(), "Y\r\n");
  EXPECT_EQ(closeRequests, 1);

  TForm2& again = Open();
  again.chkmodification = true;
  again.FormClose();
  EXPECT_EQ(Options(), "N\r\n");
  EXPECT_EQ(ReadSetupPrompt(Folder()), "N");
}

TEST_F(SetupDialogsTest, TheFirstLineOfOptionsIsThePromptAndAMissingOrEmptyFileIsY) {
  struct Case {
    std::optional<std::string> file;
    std::string prompt;
  };
  for (const Case& c : {Case{std::nullopt, "Y"}, Case{"", "Y"}, Case{"N", "N"}, Case{"n\r\n", "n"},
                        Case{" N\r\n", " N"}, Case{"\r\nN\r\n", ""}}) {
    std::filesystem::remove(Folder() + "options.txt");
    if (c.file) {
      ASSERT_TRUE(WriteFileAtomically(Folder() + "options.txt", *c.file));
    }
    EXPECT_EQ(ReadSetupPrompt(Folder()), c.prompt) << c.file.value_or("<missing>");
  }
}

TEST_F(SetupDialogsTest, ThunderbirdAccountsAreListedAndALockedProfileNamesEveryAccount) {
  test::ThunderbirdHomeFolder tb;
  TForm2& form = Open();
  EXPECT_EQ(ItemTexts(form),
            (Texts{"Ann \xC3\x89lodie <ann@example.org>", "Büro – Köln ✉", "Already screened"}))
      << "the IMAP account is dropped";
  std::filesystem::create_symlink("127.0.0.1:+" + std::to_string(getpid()), tb.Profile() + "lock");
  form.SetChecked(2, false);
  form.Button1Click();
  const std::string reason = "Thunderbird is running with the profile " + tb.Profile() +
                             ". Close Thunderbird first, then try again.";
  EXPECT_EQ(dialogs.MessageTexts(),
            Texts{"These accounts could not be changed:\nAnn \xC3\x89lodie <ann@example.org>: " +
                  reason + "\nBüro – Köln ✉: " + reason});
  EXPECT_EQ(closeRequests, 0);
  EXPECT_EQ(tb.Prefs(), test::kSamplePrefs);
}

TEST_F(SetupDialogsTest, TheUsageDialogsClickHereRunsTheSetupWizard) {
  TfrmUsage usage;
  int wizard = 0;
  usage.OnSetupWizard = [&](TfrmUsage*) { ++wizard; };
  usage.Button1Click();
  EXPECT_EQ(wizard, 1);
  EXPECT_EQ(usage.ModalResult, 0) << "the usage dialog stays open";
  usage.OKBtnClick();
  EXPECT_EQ(usage.ModalResult, TfrmUsage::mrOk);
  EXPECT_NE(UsageLabel4Text().find("5) Click \"Remove Checked\""), std::string::npos);
}

}  // namespace
}  // namespace qb
