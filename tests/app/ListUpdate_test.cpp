#include "app/ListUpdate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileStore.h"
#include "support/ProgramEnvironment.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

TEST(DnsNameTest, AcceptsZoneNames) {
  for (const char* name :
       {"bl.spamcop.net", "zen.spamhaus.org", "a.b", "x-1.y2.Example.COM", "0.0.0.example"}) {
    EXPECT_TRUE(IsDnsName(name)) << name;
  }
}

TEST(DnsNameTest, RejectsWhatCannotBeAZone) {
  std::string longLabel(64, 'a');
  std::string longName;
  for (int i = 0; i < 64; ++i) longName += "abc.";
  longName += "net";
  for (const std::string& name :
       {std::string(""), std::string("localhost"), std::string(".net"), std::string("bl..net"),
        std::string("bl.net."), std::string("-bl.net"), std::string("bl-.net"),
        std::string("bl net.org"), std::string("bl_x.net"), std::string("<html>"),
        longLabel + ".net", longName}) {
    EXPECT_FALSE(IsDnsName(name)) << name;
  }
}

TEST(AcceptableListTest, TakesAListInTheListFormat) {
  EXPECT_TRUE(IsAcceptableList("virus.exe\r\nworm.scr\r\n", false));
  EXPECT_TRUE(IsAcceptableList("one entry without line end", false));
  EXPECT_TRUE(IsAcceptableList("bl.spamcop.net\r\nfurther lines are not used\r\n", true));
  EXPECT_TRUE(IsAcceptableList("bl.spamcop.net\nnext", true));
  EXPECT_TRUE(IsAcceptableList("bl.spamcop.net", true));
}

TEST(AcceptableListTest, RefusesWhatIsNotAList) {
  EXPECT_FALSE(IsAcceptableList("", false));
  EXPECT_FALSE(IsAcceptableList(std::string("virus.exe\r\n\0worm.scr", 20), false));
  EXPECT_FALSE(IsAcceptableList("<!DOCTYPE html><html>Not Found</html>", false));
  EXPECT_FALSE(IsAcceptableList("\r\n  <html><body>Error</body></html>", false));
  EXPECT_FALSE(IsAcceptableList("\xEF\xBB\xBF<html></html>", false));
  EXPECT_FALSE(IsAcceptableList("not a zone\r\n", true));
  EXPECT_FALSE(IsAcceptableList("\r\nbl.spamcop.net\r\n", true));
}

// Each test starts without QUILLBRIGHT_UPDATE_URL and may set it.
class ListUpdateAddressTest : public ::testing::Test {
 private:
  test::ScopedVariable updateUrl_{"QUILLBRIGHT_UPDATE_URL", std::nullopt};
};

TEST_F(ListUpdateAddressTest, EnvironmentReplacesTheEndpoint) {
  unsetenv("QUILLBRIGHT_UPDATE_URL");
  EXPECT_EQ(ListUpdateAddress(), ListUpdateEndpoint);
  setenv("QUILLBRIGHT_UPDATE_URL", "", 1);
  EXPECT_EQ(ListUpdateAddress(), ListUpdateEndpoint);
  setenv("QUILLBRIGHT_UPDATE_URL", "http://lists.example.org/", 1);
  EXPECT_EQ(ListUpdateAddress(), "http://lists.example.org");
}

TEST_F(ListUpdateAddressTest, ConfiguresBothDownloadsForTheProgramFolder) {
  setenv("QUILLBRIGHT_UPDATE_URL", "http://lists.example.org", 1);
  THTTPDownload download;
  download.AcceptTypes = "text/html";
  download.UseCache = true;
  download.WaitThread = true;
  ConfigureListDownload(download, DnsblListDownload, "/opt/qb/", [](const std::string&) {});
  EXPECT_EQ(download.URL, "http://lists.example.org/quillbright/dnsbl.txt");
  EXPECT_EQ(download.FileName, "/opt/qb/dnsbl1.txt");
  EXPECT_EQ(download.AcceptTypes, "*/*");
  EXPECT_FALSE(download.UseCache);
  EXPECT_TRUE(download.BinaryData);
  EXPECT_FALSE(download.WaitThread);
  EXPECT_TRUE(download.OnDoneFile);
  EXPECT_FALSE(download.OnError);
}

TEST(ListServerTest, OnlyAHostOutsideInvalidIsAListServer) {
  struct Case {
    const char* address;
    const char* host;
    bool configured;
  };
  for (const Case& c : {
           Case{"http://lists.quillbright.invalid", "lists.quillbright.invalid", false},
           Case{"HTTP://Lists.Example.INVALID./quillbright", "lists.example.invalid", false},
           Case{"http://user@mirror.invalid:8080", "mirror.invalid", false},
           Case{"http://invalid", "invalid", false},
           Case{"http://", "", false},
           Case{"", "", false},
           Case{"http://127.0.0.86", "127.0.0.86", true},
           Case{"http://lists.example.org/quillbright", "lists.example.org", true},
           Case{"lists.example.org", "lists.example.org", true},
           Case{"http://lists.invalid.example.org", "lists.invalid.example.org", true},
           Case{"http://notinvalid", "notinvalid", true},
       }) {
    EXPECT_EQ(ListServerHost(c.address), c.host) << c.address;
    EXPECT_EQ(IsListServerConfigured(c.address), c.configured) << c.address;
  }
}

TEST_F(ListUpdateAddressTest, WithoutAListServerNothingIsAskedAndOneLineSaysSo) {
  for (const char* address :
       {static_cast<const char*>(nullptr), "", "http://lists.example.invalid/"}) {
    if (address) {
      setenv("QUILLBRIGHT_UPDATE_URL", address, 1);
    } else {
      unsetenv("QUILLBRIGHT_UPDATE_URL");
    }
    THTTPDownload virusList, zoneList;
    std::vector<std::string> statusTexts;
    std::ostringstream notices;
    StartListUpdates(
        virusList, zoneList, "/opt/qb/",
        [&](const std::string& text) { statusTexts.push_back(text); }, notices);
    std::string label = address ? address : "(unset)";
    EXPECT_FALSE(virusList.Downloading() || zoneList.Downloading()) << label;
    EXPECT_TRUE(virusList.URL.empty() && zoneList.URL.empty()) << label;
    EXPECT_EQ(notices.str(),
              "quillbright: No list server is configured; the lists are not updated.\n")
        << label;
    EXPECT_EQ(statusTexts, std::vector<std::string>{std::string(NoListServerText)}) << label;
  }
}

class ReplaceListTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFileAtomically(sandbox.File(name), bytes));
  }
  std::string Read(const std::string& name) {
    return ReadWholeFile(sandbox.File(name)).value_or("");
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(sandbox.File(name)); }

  test::TempFolder sandbox{"qb-lists"};
  std::string folder_ = sandbox.Path().string() + "/";
};

TEST_F(ReplaceListTest, DownloadTakesTheListsPlace) {
  Write("vlist.txt", "old.exe\r\n");
  Write("vlist1.txt", "new.exe\r\n");
  EXPECT_TRUE(ReplaceListWithDownload(VirusListDownload, folder_));
  EXPECT_EQ(Read("vlist.txt"), "new.exe\r\n");
  EXPECT_FALSE(Exists("vlist1.txt"));
}

TEST_F(ReplaceListTest, DownloadThatIsNotAListLeavesTheOldListAlone) {
  Write("dnsbl.txt", "bl.spamcop.net\r\n");
  Write("dnsbl1.txt", "<html><body>404</body></html>");
  EXPECT_FALSE(ReplaceListWithDownload(DnsblListDownload, folder_));
  EXPECT_EQ(Read("dnsbl.txt"), "bl.spamcop.net\r\n");
}

TEST_F(ReplaceListTest, MissingDownloadChangesNothing) {
  Write("vlist.txt", "old.exe\r\n");
  EXPECT_FALSE(ReplaceListWithDownload(VirusListDownload, folder_));
  EXPECT_EQ(Read("vlist.txt"), "old.exe\r\n");
}

TEST_F(ReplaceListTest, OldListSurvivesWhenTheDownloadCannotTakeItsPlace) {
  std::filesystem::create_directories(folder_ + "vlist.txt/in-the-way");
  Write("vlist1.txt", "new.exe\r\n");
  EXPECT_FALSE(ReplaceListWithDownload(VirusListDownload, folder_));
  EXPECT_TRUE(Exists("vlist.txt/in-the-way"));
  EXPECT_EQ(Read("vlist1.txt"), "new.exe\r\n");
}

}  // namespace
}  // namespace qb
