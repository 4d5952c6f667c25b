// "Start with my session": the autostart entry's place, its Exec line for any
// executable path, and switching it on and off, also when the desktop has
// switched it off or the folder cannot be written.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/SessionAutostart.h"
#include "platform/FileStore.h"
#include "support/ProgramEnvironment.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

TEST(SessionAutostart, TheEntryLivesInTheConfigHomesAutostartFolder) {
  ScopedVariable home("HOME", "/home/alice");
  {
    ScopedVariable config("XDG_CONFIG_HOME", "/srv/config");
    EXPECT_EQ(AutostartEntryPath(), "/srv/config/autostart/quillbright.desktop");
  }
  ScopedVariable relative("XDG_CONFIG_HOME", "config");
  EXPECT_EQ(AutostartEntryPath(), "/home/alice/.config/autostart/quillbright.desktop");
  ScopedVariable noHome("HOME", std::nullopt);
  EXPECT_EQ(AutostartEntryPath(), "");
}

TEST(SessionAutostart, ExecQuotesAndEscapesAPathWithReservedCharacters) {
  struct Case {
    const char* path;
    const char* exec;
  };
  const Case cases[] = {
      {"/usr/bin/quillbright", "/usr/bin/quillbright"},
      {"/opt/Quill Bright/quillbright", "\"/opt/Quill Bright/quillbright\""},
      {"/opt/a\"b$c`d/q", "\"/opt/a\\\\\"b\\\\$c\\\\`d/q\""},
      {"/opt/back\\slash/q", "\"/opt/back\\\\\\\\slash/q\""},
      {"/opt/100%/q", "/opt/100%%/q"},
      {"/opt/it's/q", "\"/opt/it's/q\""},
  };
  for (const Case& c : cases) EXPECT_EQ(DesktopExecArgument(c.path), c.exec) << c.path;
}

TEST(SessionAutostart, SwitchingOnWritesTheEntryAndOffRemovesIt) {
  TempFolder config("qb-autostart");
  std::string entry = config.Path().string() + "/autostart/quillbright.desktop";
  TSessionAutostart autostart(entry, "/usr/bin/quillbright");
  EXPECT_FALSE(autostart.Enabled());
  EXPECT_EQ(autostart.SetEnabled(true), "");
  EXPECT_TRUE(autostart.Enabled());
  EXPECT_NE(ReadWholeFile(entry).value_or("").find("\nExec=/usr/bin/quillbright\n"),
            std::string::npos);
  EXPECT_EQ(autostart.SetEnabled(false), "");
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_EQ(autostart.SetEnabled(false), "") << "an entry already gone is no error";

  // The desktop's session settings switch an entry off inside it.
  for (const char* off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
    ASSERT_TRUE(WriteFileAtomically(entry, "[Desktop Entry]\n" + std::string(off)));
    EXPECT_FALSE(autostart.Enabled()) << off;
    EXPECT_EQ(autostart.SetEnabled(true), "");
    EXPECT_TRUE(autostart.Enabled()) << off;
  }
}

TEST(SessionAutostart, AFolderThatCannotBeMadeIsReportedAndNothingChanges) {
  TempFolder config("qb-autostart");
  ASSERT_TRUE(WriteFileAtomically(config.File("autostart"), ""));  // a file, not a folder
  std::string entry = config.File("autostart") + "/quillbright.desktop";
  TSessionAutostart autostart(entry, "/usr/bin/quillbright");
  EXPECT_EQ(autostart.SetEnabled(true), "Cannot create file " + entry);
  EXPECT_FALSE(autostart.Enabled());
  EXPECT_NE(TSessionAutostart("", "/x").SetEnabled(true).find("HOME"), std::string::npos);
}

}  // namespace
}  // namespace qb::test
