// The settings file: what is written is read back, the environment wins over
// it, what the file holds reaches the code that reads a variable and goes
// again at unload, a start from the session keeps the settings the
// environment gave, and the values a setting refuses.
#include "app/ProgramSettings.h"

#include <gtest/gtest.h>

#include "app/SessionAutostart.h"
#include "platform/FileStore.h"
#include "support/ProgramEnvironment.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

const TProgramSetting& Setting(const char* key) {
  const TProgramSetting* setting = FindProgramSetting(key);
  EXPECT_NE(setting, nullptr) << key;
  return *setting;
}

class ProgramSettings : public ::testing::Test {
 protected:
  void TearDown() override { UnloadProgramSettings(); }
  std::string Folder() const { return folder.Path().string() + "/"; }

  TempFolder folder;
  ScopedVariable port{"QUILLBRIGHT_POP3_PORT", std::nullopt};
  ScopedVariable hold{"QUILLBRIGHT_REVIEW_HOLD", "90"};
  ScopedVariable home{"QUILLBRIGHT_HOME", "/srv/qb home"};
};

TEST_F(ProgramSettings, WrittenValuesAreReadBackAndWinOverNothingButTheEnvironment) {
  ASSERT_TRUE(WriteSettingsFile(
      Folder(),
      {{"port", "1110"}, {"review-hold", "30"}, {"check-ahead", ""}, {"not-a-setting", "x"}}));
  EXPECT_EQ(ReadSettingsFile(Folder()),
            (std::map<std::string, std::string>{{"port", "1110"}, {"review-hold", "30"}}));
  ASSERT_TRUE(WriteFileAtomically(Folder() + kSettingsFile,
                                  ReadWholeFile(Folder() + kSettingsFile).value_or("") +
                                      "no equals sign\n  ca-file =  /etc/ca.pem \n"));
  LoadProgramSettings(Folder());
  EXPECT_EQ(SettingValue(Setting("port")), "1110") << "from the file";
  EXPECT_EQ(SettingValue(Setting("review-hold")), "90") << "the environment wins";
  EXPECT_EQ(SettingValue(Setting("ca-file")), "/etc/ca.pem");
  EXPECT_FALSE(SetByEnvironment(Setting("port")));
  EXPECT_TRUE(SetByEnvironment(Setting("review-hold")));

  // A start from the session finds the same folder and the environment's settings.
  std::string entry = AutostartEntryText("/usr/bin/quillbright", CurrentAutostartVariables());
  EXPECT_NE(entry.find("\nExec=env \"QUILLBRIGHT_HOME=/srv/qb home\" "
                       "QUILLBRIGHT_REVIEW_HOLD=90 /usr/bin/quillbright\n"),
            std::string::npos)
      << entry;

  UnloadProgramSettings();
  EXPECT_EQ(SettingValue(Setting("port")), "") << "the file's values go with the window";
  EXPECT_EQ(SettingValue(Setting("review-hold")), "90");
}

TEST(ProgramSettingRefusals, EachSettingRefusesWhatItCannotUse) {
  const struct {
    const char* key;
    const char* value;
    bool usable;
  } cases[] = {
      {"port", "1110", true},
      {"port", "pop3", true},
      {"port", "0", false},
      {"port", "70000", false},
      {"review-hold", "540", true},
      {"review-hold", "541", false},
      {"check-ahead", "on", true},
      {"check-ahead", "soon", false},
      {"dnsbl-zone", "zen.example.org", true},
      {"dnsbl-zone", "not a name", false},
      {"update-url", "https://lists.example", true},
      {"update-url", "ftp://lists", false},
      {"removed-keep-days", "7", true},
      {"removed-keep-days", "0", false},
      {"removed-copy-limit-kb", "0", true},
      {"removed-copy-limit-kb", "-1", false},
      {"ca-file", "/no/such/file.pem", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Setting(c.key).Refusal(c.value).empty(), c.usable) << c.key << "=" << c.value;
  }
  EXPECT_EQ(FindProgramSetting("no-such-setting"), nullptr);
}

}  // namespace
}  // namespace qb::test
