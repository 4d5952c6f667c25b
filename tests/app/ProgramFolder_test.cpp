// The program folder's rules: QUILLBRIGHT_HOME first; the executable's folder
// when it is writable and holds vlist.txt; otherwise the data home, created
// and filled from the shipped lists without overwriting the user's files,
// and a failure to make or fill it told in the returned error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/ProgramFolder.h"
#include "app/StartMessages.h"
#include "platform/FileStore.h"
#include "support/ProgramEnvironment.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;

class ProgramFolderRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileAtomically(shipped + "vlist.txt", "shipped virus\r\n"));
    ASSERT_TRUE(WriteFileAtomically(shipped + "dnsbl.txt", "zone.test\r\n"));
    ASSERT_TRUE(WriteFileAtomically(shipped + "senlist.txt", ""));
    fs::create_directory(shipped + "help");  // folders are not copied
  }
  ProgramFolderPlaces Places() const {
    return {.Home = "",
            .ExecutableFolder = bin,
            .DataHome = root.Path().string() + "/data",
            .ShippedFolder = shipped};
  }
  std::string DataFolder() const { return root.Path().string() + "/data/quillbright/"; }

  TempFolder root{"qb-folders"};
  std::string bin = root.MakeFolder("usr/bin") + "/";
  std::string shipped = root.MakeFolder("usr/share/quillbright") + "/";
};

TEST_F(ProgramFolderRules, TheHomeVariableWinsAndABuildFolderWithItsListsIsUsedAsItIs) {
  ProgramFolderPlaces places = Places();
  places.Home = root.Path().string() + "/mine";
  EXPECT_EQ(ChooseProgramFolder(places).Folder, places.Home + "/");
  EXPECT_FALSE(fs::exists(DataFolder())) << "the data home is not touched";

  ASSERT_TRUE(WriteFileAtomically(bin + "vlist.txt", ""));
  ChosenProgramFolder chosen = ChooseProgramFolder(Places());
  EXPECT_EQ(chosen.Folder, bin);
  EXPECT_TRUE(chosen.Error.empty()) << chosen.Error;
  EXPECT_FALSE(fs::exists(DataFolder()));
}

TEST_F(ProgramFolderRules, AnInstalledProgramFillsAnEmptyDataHomeOnceAndNeverOverwrites) {
  ChosenProgramFolder first = ChooseProgramFolder(Places());
  EXPECT_EQ(first.Folder, DataFolder());
  EXPECT_TRUE(first.Error.empty()) << first.Error;
  EXPECT_EQ(first.Copied, (std::vector<std::string>{"dnsbl.txt", "senlist.txt", "vlist.txt"}));
  EXPECT_EQ(ReadWholeFile(DataFolder() + "vlist.txt"), "shipped virus\r\n");
  EXPECT_FALSE(fs::exists(DataFolder() + "help"));

  // The user's own lists stay; a shipped list the user deleted comes back.
  ASSERT_TRUE(WriteFileAtomically(DataFolder() + "vlist.txt", "my own\r\n"));
  fs::remove(DataFolder() + "dnsbl.txt");
  ChosenProgramFolder again = ChooseProgramFolder(Places());
  EXPECT_EQ(again.Copied, (std::vector<std::string>{"dnsbl.txt"}));
  EXPECT_EQ(ReadWholeFile(DataFolder() + "vlist.txt"), "my own\r\n");
}

TEST_F(ProgramFolderRules, AnExecutableFolderThatCannotBeWrittenCountsAsInstalled) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write every folder";
  ASSERT_TRUE(WriteFileAtomically(bin + "vlist.txt", ""));
  fs::permissions(bin, fs::perms::owner_write, fs::perm_options::remove);
  ChosenProgramFolder chosen = ChooseProgramFolder(Places());
  fs::permissions(bin, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(chosen.Folder, DataFolder());
}

// Each failure gives the folder it meant and an error the start-up shows.
TEST_F(ProgramFolderRules, ADataHomeThatCannotBeMadeOrFilledIsAnError) {
  struct Case {
    const char* label;
    std::function<void(ProgramFolderPlaces&)> arrange;
    const char* error;
  };
  const Case cases[] = {
      {"a file stands where the data home should be",
       [&](ProgramFolderPlaces& p) { ASSERT_TRUE(WriteFileAtomically(p.DataHome, "")); },
       "cannot create "},
      {"no shipped lists beside the executable",
       [](ProgramFolderPlaces& p) { p.ShippedFolder += "missing/"; },
       "cannot read the shipped files in "},
      {"neither XDG_DATA_HOME nor HOME, and an executable folder that cannot be written",
       [](ProgramFolderPlaces& p) {
         p.DataHome.clear();
         p.ExecutableFolder += "gone/";
       },
       "neither XDG_DATA_HOME nor HOME is set"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempFolder fresh{"qb-folders"};
    ProgramFolderPlaces places = Places();
    places.DataHome = fresh.Path().string() + "/data";
    c.arrange(places);
    ChosenProgramFolder chosen = ChooseProgramFolder(places);
    EXPECT_NE(chosen.Error.find(c.error), std::string::npos) << chosen.Error;
    std::string text = ProgramFolderFailureText(chosen);
    EXPECT_TRUE(
        text.starts_with("Quillbright cannot prepare its program folder " + chosen.Folder + ": "))
        << text;
    EXPECT_NE(text.find("QUILLBRIGHT_HOME"), std::string::npos) << "the way out";
  }
}

TEST(ProgramFolderPlacesOfTheEnvironment, XdgDataHomeWhenAbsoluteElseTheHomesLocalShare) {
  ScopedVariable home("HOME", "/home/alice");
  {
    ScopedVariable data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(CurrentProgramFolderPlaces().DataHome, "/srv/data");
  }
  for (const std::optional<std::string>& relative :
       {std::optional<std::string>("data"), std::optional<std::string>(""),
        std::optional<std::string>()}) {
    ScopedVariable data("XDG_DATA_HOME", relative);
    EXPECT_EQ(CurrentProgramFolderPlaces().DataHome, "/home/alice/.local/share");
  }
  ProgramFolderPlaces places = CurrentProgramFolderPlaces();
  EXPECT_EQ(places.ShippedFolder, ShippedDataFolder(places.ExecutableFolder));
  EXPECT_EQ(ShippedDataFolder("/usr/bin/"), "/usr/share/quillbright/");
}

}  // namespace
}  // namespace qb::test
