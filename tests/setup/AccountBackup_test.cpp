#include "setup/AccountBackup.h"

#include "platform/FileStore.h"
#include "platform/RegistryFile.h"
#include "setup/WindowsKind.h"
#include "support/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qb {
namespace {

using Lines = std::vector<std::string>;

const std::string kAccounts = "Software\\Microsoft\\Internet Account Manager\\Accounts";
const std::string kFirst = kAccounts + "\\00000001";
const std::string kSecond = kAccounts + "\\00000002";
const std::string kFirstLine = "[HKEY_CURRENT_USER\\" + kFirst + "]";
const std::string kSecondLine = "[HKEY_CURRENT_USER\\" + kSecond + "]";

class AccountBackupTest : public RegistrySandbox {
 protected:
  void TearDown() override {
    InjectOsVersion(std::nullopt);
    RegistrySandbox::TearDown();
  }

  std::string BackupFile() const { return Folder() + "accounts.bck"; }
  void Backup(const std::string& keyPath) {
    BackupRegistryKey(HKEY_CURRENT_USER, keyPath, BackupFile(), true);
  }
  Lines FileLines() const { return SplitLines(ReadWholeFile(BackupFile()).value_or("")); }
};

TEST_F(AccountBackupTest, FirstBackupUnderWindowsXpStartsWithTheVersion5Header) {
  InjectOsVersion(TOsVersionInfo{VER_PLATFORM_WIN32_NT, 5, 1});
  PutString(kFirst, "POP3 Server", "pop.example.com");
  Put(kFirst, "POP3 Port", REG_DWORD, std::string("\x6E\0\0\0", 4));
  Backup(kFirst + "\\");
  EXPECT_EQ(ReadWholeFile(BackupFile()),
            "Windows Registry Editor Version 5.00\r\n\r\n" + kFirstLine +
                "\r\n\"POP3 Server\"=\"pop.example.com\"\r\n\"POP3 Port\"=dword:0000006E\r\n");
}

TEST_F(AccountBackupTest, OtherSystemsGetTheRegedit4Header) {
  PutString(kFirst, "A", "1");
  Backup(kFirst);
  EXPECT_EQ(FileLines(), (Lines{"REGEDIT4", "", kFirstLine, "\"A\"=\"1\""}));
}

TEST_F(AccountBackupTest, AKeyIsSavedOnceAndKeepsItsFirstValues) {
  PutString(kFirst, "POP3 Server", "pop.example.com");
  Backup(kFirst + "\\");
  const auto first = ReadWholeFile(BackupFile());
  PutString(kFirst, "POP3 Server", "localhost");
  Backup(kFirst + "\\");
  EXPECT_EQ(ReadWholeFile(BackupFile()), first);
}

TEST_F(AccountBackupTest, TheNewestKeyStandsRightAfterTheHeader) {
  PutString(kFirst, "A", "1");
  PutString(kSecond, "B", "2");
  Backup(kFirst);
  Backup(kSecond);
  EXPECT_EQ(FileLines(),
            (Lines{"REGEDIT4", "", kSecondLine, "\"B\"=\"2\"", "", kFirstLine, "\"A\"=\"1\""}));
}

TEST_F(AccountBackupTest, SubkeysFollowTheirKeyDepthFirst) {
  PutString(kFirst, "A", "1");
  PutString(kFirst + "\\Sub\\Deeper", "C", "3");
  PutString(kFirst + "\\Sub", "B", "2");
  PutKey(kFirst + "\\Tail");
  Backup(kFirst);
  EXPECT_EQ(FileLines(), (Lines{"REGEDIT4", "", kFirstLine, "\"A\"=\"1\"", "",
                                "[HKEY_CURRENT_USER\\" + kFirst + "\\Sub]", "\"B\"=\"2\"", "",
                                "[HKEY_CURRENT_USER\\" + kFirst + "\\Sub\\Deeper]", "\"C\"=\"3\"",
                                "", "[HKEY_CURRENT_USER\\" + kFirst + "\\Tail]"}));
}

TEST_F(AccountBackupTest, ValuesAreWrittenInExportForm) {
  Put(kFirst, "Bin26", REG_BINARY, std::string(26, '\x01'));
  Put(kFirst, "Bin27", REG_BINARY, std::string(27, '\x01'));
  PutString(kFirst, "Path", "C:\\Mail");
  PutString(kFirst, "Quoted", "\"Joe\" <joe@example.com>");
  Backup(kFirst);
  Lines lines = FileLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[3].rfind("\"Bin26\"=hex:", 0), 0u);
  EXPECT_EQ(lines[3].back(), '1') << "26 bytes fit on one line";
  EXPECT_EQ(lines[4].substr(lines[4].size() - 4), "01,\\");
  EXPECT_EQ(lines[5], "01");
  EXPECT_EQ(lines[6], "\"Path\"=\"C:\\\\Mail\"");
  EXPECT_EQ(lines[7], "\"Quoted\"=\"Joe\" <joe@example.com>");
}

TEST_F(AccountBackupTest, AKeyLineFollowedByADeletionLineDoesNotCountAsSaved) {
  PutString(kFirst, "A", "1");
  ASSERT_TRUE(
      WriteFileAtomically(BackupFile(), "REGEDIT4\r\n\r\n" + kFirstLine + "\r\n\"A\"=-\r\n"));
  Backup(kFirst);
  EXPECT_EQ(FileLines(),
            (Lines{"REGEDIT4", "", kFirstLine, "\"A\"=\"1\"", "", kFirstLine, "\"A\"=-"}));
}

TEST_F(AccountBackupTest, AKeyLineOnTheLastLineDoesNotCountAsSaved) {
  PutString(kFirst, "A", "1");
  ASSERT_TRUE(WriteFileAtomically(BackupFile(), "REGEDIT4\r\n\r\n" + kFirstLine + "\r\n"));
  Backup(kFirst);
  EXPECT_EQ(FileLines(), (Lines{"REGEDIT4", "", kFirstLine, "\"A\"=\"1\"", "", kFirstLine}));
}

TEST_F(AccountBackupTest, AnEmptyFileIsBegunAfreshWithAHeader) {
  PutString(kFirst, "A", "1");
  ASSERT_TRUE(WriteFileAtomically(BackupFile(), ""));
  Backup(kFirst);
  EXPECT_EQ(FileLines(), (Lines{"REGEDIT4", "", kFirstLine, "\"A\"=\"1\""}));
}

TEST_F(AccountBackupTest, AMissingKeyAddsNothingButTheFileIsStillWritten) {
  Backup(kFirst);
  EXPECT_EQ(FileLines(), Lines{"REGEDIT4"});
}

TEST_F(AccountBackupTest, FileFailuresAreRaised) {
  PutString(kFirst, "A", "1");
  EXPECT_THROW(BackupRegistryKey(HKEY_CURRENT_USER, kFirst, Folder() + "no/such/folder.bck", true),
               EBackupError);
  std::filesystem::create_directory(BackupFile());  // exists, but is not a readable file
  EXPECT_THROW(Backup(kFirst), EBackupError);
}

TEST_F(AccountBackupTest, ABackupLoadsBackIntoTheRegistryWithTheSameKeysAndValues) {
  PutString(kFirst, "Account Name", "Work \"mail\"");
  PutString(kFirst, "Path", "C:\\Mail\\");
  PutString(kFirst, "", "default");
  Put(kFirst, "Bin", REG_BINARY, std::string("\0\x01\xFE\xFF", 4) + std::string(60, '\x7F'));
  Put(kFirst, "Port", REG_DWORD, std::string("\x6E\0\0\0", 4));
  Put(kFirst, "Expand", REG_EXPAND_SZ, std::string("%HOME%\\x\0", 9));
  Put(kFirst, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  PutString(kFirst + "\\Sub", "Inner", "value");
  Backup(kFirst);

  TRegistryStore restored(Folder() + "restored.reg");
  ASSERT_EQ(restored.ImportFile(BackupFile()), ERROR_SUCCESS);
  ASSERT_EQ(ReadWholeFile(restored.FilePath()), ReadWholeFile(RegistryFile()))
      << "the restored store differs from the original";
}

}  // namespace
}  // namespace qb
