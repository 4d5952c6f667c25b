#include "platform/RegistryFile.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using Lines = std::vector<std::string>;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

Lines BackupLines(std::string_view name, DWORD type, std::string_view data) {
  return ValueLines(name, type, data, TStringStyle::ssBackup);
}

TEST(RegistryValueLines, DwordHasEightUpperCaseDigits) {
  EXPECT_EQ(BackupLines("Port", REG_DWORD, std::string("\x6E\0\0\0", 4)),
            Lines{"\"Port\"=dword:0000006E"});
  EXPECT_EQ(BackupLines("Big", REG_DWORD, "\xEF\xBE\xAD\xDE"), Lines{"\"Big\"=dword:DEADBEEF"});
}

TEST(RegistryValueLines, BinaryBreaksAfterByte25AndEvery25BytesAfter) {
  EXPECT_EQ(BackupLines("B", REG_BINARY, ""), Lines{"\"B\"=hex:"});
  EXPECT_EQ(BackupLines("B", REG_BINARY, std::string(26, '\x0A')),
            Lines{"\"B\"=hex:" + Repeat("0A,", 25) + "0A"});
  EXPECT_EQ(BackupLines("B", REG_BINARY, std::string(52, '\xFF')),
            (Lines{"\"B\"=hex:" + Repeat("FF,", 26) + "\\", Repeat("FF,", 25) + "\\", "FF"}));
}

TEST(RegistryValueLines, Exactly27BytesPutsTheLastByteOnTheSecondLine) {
  std::string bytes(27, '\x01');
  bytes[26] = '\x02';
  Lines lines = BackupLines("B", REG_BINARY, bytes);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 4), "01,\\");
  EXPECT_EQ(lines[1], "02");
}

TEST(RegistryValueLines, WideFormsFollowEachByteWith00AndBreakAfterIt) {
  EXPECT_EQ(BackupLines("E", REG_EXPAND_SZ, std::string("%A%\0", 4)),
            Lines{"\"E\"=hex(2):25,00,41,00,25,00,00,00"});
  EXPECT_EQ(BackupLines("M", 0x2A, "z"), Lines{"\"M\"=hex(2A):7A,00"});
  Lines lines = BackupLines("E", REG_EXPAND_SZ, std::string(27, 'a'));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 7), "61,00,\\");
  EXPECT_EQ(lines[1], "61,00");
}

TEST(RegistryValueLines, BackupStringsDoubleBackslashesAndKeepQuotes) {
  EXPECT_EQ(BackupLines("P", REG_SZ, std::string("C:\\Mail\0", 8)), Lines{"\"P\"=\"C:\\\\Mail\""});
  EXPECT_EQ(BackupLines("Q", REG_SZ, std::string("\"begins\0", 8)), Lines{"\"Q\"=\"begins"});
  EXPECT_EQ(BackupLines("Q", REG_SZ, std::string("ends\"\0", 6)), Lines{"\"Q\"=ends\""});
  EXPECT_EQ(BackupLines("Q", REG_SZ, std::string("in\"side\0", 8)), Lines{"\"Q\"=\"in\"side\""});
  EXPECT_EQ(BackupLines("", REG_SZ, std::string("\0", 1)), Lines{"@=\"\""});
  EXPECT_EQ(BackupLines("a\\b", REG_SZ, std::string("x\0junk", 6)), Lines{"\"a\\\\b\"=\"x\""})
      << "the text ends at its first NUL";
}

TEST(RegistryText, EscapeBackslashesDoublesEveryOne) {
  EXPECT_EQ(EscapeBackslashes(""), "");
  EXPECT_EQ(EscapeBackslashes("\\a\\\\b\\"), "\\\\a\\\\\\\\b\\\\");
}

TEST(RegistryText, SplitLinesAcceptsEveryLineEnd) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(JoinLines({"a", ""}), "a\r\n\r\n");
}

TEST(RegistryImport, ReadsContinuedHexAndBothStringForms) {
  RegistryRoots roots;
  std::string error;
  ASSERT_TRUE(
      ImportRegistryExport("Windows Registry Editor Version 5.00\n\n"
                           "[hkey_current_user\\A\\B]\n"
                           "\"Bin\"=hex:01,02,\\\n  03\n"
                           "\"Raw\"=\"begins\n"
                           "\"Esc\"=\"say \\\"hi\\\" \\\\o/\"\n"
                           "@=dword:0000006e\n"
                           "\"Wide\"=hex(2):41,00,00,00\n",
                           roots, error))
      << error;
  const RegistryKey* key = roots[1].FindSubkey("a")->FindSubkey("b");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->FindValue("Bin")->data, "\x01\x02\x03");
  EXPECT_EQ(key->FindValue("Raw")->data, std::string("\"begins\0", 8));
  EXPECT_EQ(key->FindValue("Esc")->data, std::string("say \"hi\" \\o/\0", 13));
  EXPECT_EQ(key->FindValue("")->data, std::string("\x6E\0\0\0", 4));
  EXPECT_EQ(key->FindValue("Wide")->type, REG_EXPAND_SZ);
  EXPECT_EQ(key->FindValue("Wide")->data, std::string("A\0", 2));
}

TEST(RegistryImport, RejectsWhatIsNotAnExportFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "no header"},
      {"[HKEY_CURRENT_USER\\A]\n", "no header"},
      {"REGEDIT4\n\"A\"=\"1\"\n", "value before key"},
      {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "unknown root"},
      {"REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n", "key deletion"},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n", "empty key name"},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"B\"=hex:0G\n", "bad hex"},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"B\"=hex:01,\\\n", "missing continuation"},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"B\"=dword:123456789\n", "dword too long"},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"B\"\n", "no ="},
  };
  for (const auto& [text, what] : cases) {
    RegistryRoots roots;
    std::string error;
    EXPECT_FALSE(ImportRegistryExport(text, roots, error)) << what;
    EXPECT_FALSE(error.empty()) << what;
  }
}

}  // namespace
}  // namespace qb
