#include "setup/untAccounts.h"

#include "platform/FileStore.h"
#include "platform/RegistryFile.h"
#include "setup/AccountBackup.h"
#include "support/RecordingDialogs.h"
#include "support/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qb {
namespace {

using Lines = std::vector<std::string>;

std::string AccountKeyPath(AccountStore store, const std::string& account) {
  return std::string(StoreKeyPath(store)) + "\\Accounts\\" + account;
}

class AccountsTest : public RegistrySandbox {
 protected:
  void AddAccount(AccountStore store, const std::string& account, const std::string& server,
                  const std::string& user = "joe") {
    const std::string key = AccountKeyPath(store, account);
    PutString(key, "Account Name", "Account " + account);
    PutString(key, "SMTP Display Name", "Joe");
    PutString(key, "POP3 Server", server);
    PutString(key, "POP3 User Name", user);
  }
  void SetDefault(AccountStore store, const std::string& account) {
    PutString(std::string(StoreKeyPath(store)), "Default Mail Account", account);
  }
  std::string Value(AccountStore store, const std::string& account, const std::string& name) {
    auto data = Get(AccountKeyPath(store, account), name);
    return data && !data->empty() ? data->substr(0, data->size() - 1) : "<missing>";
  }
  std::string BackupFile() const { return Folder() + "accounts.bck"; }

  test::RecordingDialogs dialogs;
};

constexpr AccountStore kIam = AccountStore::asInternetAccountManager;
constexpr AccountStore kOffice = AccountStore::asOffice;
constexpr AccountStore kOffice8 = AccountStore::asOffice8;

TEST_F(AccountsTest, WithoutAnyDefaultTheFirstAccountIsProbedInEveryStore) {
  EXPECT_EQ(DetectAccountStore(), AccountStore::asNone);
  AddAccount(kIam, "00000001", "pop.example.com");
  EXPECT_EQ(DetectAccountStore(), kIam);
  AddAccount(kOffice8, "00000001", "pop.example.com");
  EXPECT_EQ(DetectAccountStore(), kOffice8);
  AddAccount(kOffice, "00000001", "pop.example.com");
  EXPECT_EQ(DetectAccountStore(), kOffice) << "the Office store wins over the other two";
}

TEST_F(AccountsTest, TheDefaultNamedByOneStoreIsLookedForInAll) {
  SetDefault(kOffice8, "00000007");
  SetDefault(kIam, "00000003");  // not used: the Office 8 store names one first
  AddAccount(kIam, "00000007", "pop.example.com");
  AddAccount(kOffice8, "00000003", "pop.example.com");
  EXPECT_EQ(GetDefaultAccountKey(kOffice8), "00000007");
  EXPECT_EQ(GetDefaultAccountKey(AccountStore::asNone), "");
  EXPECT_EQ(GetDefaultAccountKey(kOffice), "");
  EXPECT_EQ(DetectAccountStore(), kIam);
}

TEST_F(AccountsTest, AnAccountWithoutADisplayNameIsNotFound) {
  AddAccount(kIam, "00000001", "pop.example.com");
  PutString(AccountKeyPath(kIam, "00000001"), "SMTP Display Name", "");
  EXPECT_EQ(DetectAccountStore(), AccountStore::asNone);
}

TEST_F(AccountsTest, ListsKeysAndNamesAlignedEvenWhenANameIsMissing) {
  AddAccount(kIam, "00000001", "pop.one.example");
  PutString(AccountKeyPath(kIam, "00000002"), "POP3 Server", "pop.two.example");
  AddAccount(kIam, "00000003", "");
  TAccountList list = ListAccounts(kIam);
  EXPECT_EQ(list.keys, (Lines{"00000001", "00000002", "00000003"}));
  EXPECT_EQ(list.names, "Account 00000001\r\n\r\nAccount 00000003\r\n");
}

TEST_F(AccountsTest, NoStoreOrNoAccountsGivesEmptyLists) {
  TAccountList none = ListAccounts(AccountStore::asNone);
  EXPECT_TRUE(none.keys.empty());
  EXPECT_EQ(none.names, "");
  TAccountList missing = ListAccounts(kOffice);
  EXPECT_TRUE(missing.keys.empty());
  PutKey(std::string(StoreKeyPath(kOffice)) + "\\Accounts");
  TAccountList empty = ListAccounts(kOffice);
  EXPECT_TRUE(empty.keys.empty());
  EXPECT_EQ(empty.names, "");
}

TEST_F(AccountsTest, KeyNamesShorterThanEightCharactersAreNeitherReadNorWritten) {
  AddAccount(kIam, "0000001", "pop.example.com");
  EXPECT_EQ(ReadAccountString(kIam, "0000001", "POP3 Server"), "");
  WriteAccountString(kIam, "0000001", "POP3 Server", "localhost", Folder());
  EXPECT_EQ(Value(kIam, "0000001", "POP3 Server"), "pop.example.com");
  EXPECT_FALSE(std::filesystem::exists(BackupFile()));
  EXPECT_EQ(ReadAccountString(AccountStore::asNone, "00000001", "POP3 Server"), "");
}

TEST_F(AccountsTest, AWriteBacksTheKeyUpFirstAndOnlyOnce) {
  AddAccount(kIam, "00000001", "pop.example.com");
  WriteAccountString(kIam, "00000001", "POP3 Server", "first", Folder());
  WriteAccountString(kIam, "00000001", "POP3 Server", "second", Folder());
  EXPECT_EQ(ReadAccountString(kIam, "00000001", "POP3 Server"), "second");
  Lines backup = SplitLines(ReadWholeFile(BackupFile()).value_or(""));
  EXPECT_EQ(std::count(backup.begin(), backup.end(), "\"POP3 Server\"=\"pop.example.com\""), 1);
  EXPECT_EQ(backup.size(), 7u) << "header, empty line, key line, four values";
}

TEST_F(AccountsTest, RewritePointsChosenAccountsAtTheGatewayAndLeavesLocalhostAlone) {
  AddAccount(kIam, "00000001", "localhost", "joe");
  AddAccount(kIam, "00000002", "LOCALHOST", "ann");
  AddAccount(kIam, "00000003", "pop.example.com", "bob#old");
  AddAccount(kIam, "00000004", "pop.untouched.example", "eve");
  TAccountList list = ListAccounts(kIam);
  Lines lines = SplitLines(list.names);

  RewriteAccountsForGateway(kIam, list.keys, lines, {0, 1, 2}, Folder());

  ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
  EXPECT_EQ(dialogs.MessageBoxes()[0].Text, "No modification was done to Account 00000001");
  EXPECT_EQ(dialogs.MessageBoxes()[0].Type, TMsgDlgType::mtInformation);
  EXPECT_EQ(Value(kIam, "00000001", "POP3 User Name"), "joe");
  EXPECT_EQ(Value(kIam, "00000002", "POP3 Server"), "localhost");
  EXPECT_EQ(Value(kIam, "00000002", "POP3 User Name"), "ann#LOCALHOST");
  EXPECT_EQ(Value(kIam, "00000003", "POP3 User Name"), "bob#old#pop.example.com");
  EXPECT_EQ(Value(kIam, "00000004", "POP3 Server"), "pop.untouched.example");

  std::string backup = ReadWholeFile(BackupFile()).value_or("");
  EXPECT_EQ(backup.find("00000001]"), std::string::npos) << "an unchanged account was saved";
  EXPECT_NE(backup.find("\"POP3 Server\"=\"LOCALHOST\""), std::string::npos);
}

TEST_F(AccountsTest, AFailedBackupWritesNothingAndStopsTheRewrite) {
  AddAccount(kIam, "00000001", "pop.one.example");
  AddAccount(kIam, "00000002", "pop.two.example");
  TAccountList list = ListAccounts(kIam);
  EXPECT_THROW(RewriteAccountsForGateway(kIam, list.keys, SplitLines(list.names), {0, 1},
                                         Folder() + "missing/"),
               EBackupError);
  EXPECT_EQ(Value(kIam, "00000001", "POP3 Server"), "pop.one.example");
  EXPECT_EQ(Value(kIam, "00000002", "POP3 Server"), "pop.two.example");
}

TEST_F(AccountsTest, AValuePathTooLongForItsBufferIsRefusedNotCut) {
  // "...\Accounts\" + name + "\POP3 Server": find the name lengths that give
  // exactly the longest allowed path and one character more.
  const std::size_t fixed = AccountKeyPath(kIam, "").size() + std::string("\\POP3 Server").size();
  const std::string fits(kMaxAccountPathLength - fixed, '1');
  const std::string tooLong(kMaxAccountPathLength - fixed + 1, '1');
  AddAccount(kIam, fits, "pop.fits.example");
  AddAccount(kIam, tooLong, "pop.long.example");
  const std::string before = ReadWholeFile(RegistryFile()).value_or("");

  EXPECT_EQ(ReadAccountString(kIam, fits, "POP3 Server"), "pop.fits.example");
  EXPECT_EQ(ReadAccountString(kIam, tooLong, "POP3 Server"), "");
  WriteAccountString(kIam, tooLong, "POP3 Server", "localhost", Folder());
  EXPECT_EQ(ReadWholeFile(RegistryFile()), before) << "a cut path was written";
  EXPECT_FALSE(std::filesystem::exists(BackupFile()));

  SetDefault(kOffice8, std::string(300, '1'));
  EXPECT_EQ(DetectAccountStore(), AccountStore::asNone);
}

TEST_F(AccountsTest, AnAccountNameWithABackslashNeverReachesAnotherKey) {
  AddAccount(kIam, "00000001", "pop.example.com");
  const std::string before = ReadWholeFile(RegistryFile()).value_or("");
  WriteAccountString(kIam, "00000001\\Sub", "POP3 Server", "localhost", Folder());
  EXPECT_EQ(ReadWholeFile(RegistryFile()), before);
  EXPECT_EQ(ReadAccountString(kIam, "..\\Accounts\\00000001", "POP3 Server"), "");
}

}  // namespace
}  // namespace qb
