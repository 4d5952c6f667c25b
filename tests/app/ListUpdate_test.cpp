#include "app/ListUpdate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

class ListUpdateAddressTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("QUILLBRIGHT_UPDATE_URL"); }
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

class ReplaceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qb-lists-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = std::string(pattern) + "/";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ + name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(folder_ + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(folder_ + name); }
  std::string folder_;
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
