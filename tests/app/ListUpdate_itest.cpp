// The start-up list updates against a real list server on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ListUpdate.h"
#include "http/DownloadTestFixture.h"
#include "support/ProgramEnvironment.h"
#include "support/RecordingDialogs.h"

namespace qb::testing {
namespace {

using ::testing::ElementsAre;

class ListUpdateTest : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    std::filesystem::create_directories(folder_ / "www" / "quillbright");
    std::filesystem::create_directory(folder_ / "program");
    programFolder_ = (folder_ / "program").string() + "/";
    WriteBytes(programFolder_ + "vlist.txt", "old.exe\r\n");
    WriteBytes(programFolder_ + "dnsbl.txt", "old.zone.example\r\n");
  }
  void TearDown() override {
    HTTPDownload1.reset();
    HTTPDownload2.reset();
    DownloadTest::TearDown();
  }

  void Publish(const std::string& name, const std::string& bytes) {
    WriteBytes(PathIn("www/quillbright/" + name), bytes);
  }

  // Starts both updates and turns the loop until both components are idle.
  void RunUpdates(const std::string& address) {
    setenv("QUILLBRIGHT_UPDATE_URL", address.c_str(), 1);
    auto starting = std::chrono::steady_clock::now();
    StartListUpdates(
        *HTTPDownload1, *HTTPDownload2, programFolder_,
        [this](const std::string& text) { statusTexts_.push_back(text); }, notices_);
    EXPECT_LT(std::chrono::steady_clock::now() - starting, 1s) << "the start-up waited";
    ASSERT_TRUE(
        WaitFor([&] { return !HTTPDownload1->Downloading() && !HTTPDownload2->Downloading(); }));
    EXPECT_EQ(notices_.str(), "") << "a list server is configured";
  }

  std::string ProgramFile(const std::string& name) { return ReadBytes(programFolder_ + name); }

  std::string programFolder_;
  test::ScopedVariable updateUrl_{"QUILLBRIGHT_UPDATE_URL", std::nullopt};  // RunUpdates sets it
  std::vector<std::string> statusTexts_;
  std::ostringstream notices_;
  test::RecordingDialogs dialogs_;
  // The two components the main window owns; gone before the fixture
  // checks that no window is left.
  std::unique_ptr<THTTPDownload> HTTPDownload1 = std::make_unique<THTTPDownload>();
  std::unique_ptr<THTTPDownload> HTTPDownload2 = std::make_unique<THTTPDownload>();
};

TEST_F(ListUpdateTest, BothListsAreReplacedAndTheStatusTextIsTheSameEachTime) {
  Publish("vlist.txt", "new.exe\r\nnew.scr\r\n");
  Publish("dnsbl.txt", "bl.spamcop.net\r\n");
  auto server = ServeFiles();
  RunUpdates("http://" + server->Address());

  EXPECT_EQ(ProgramFile("vlist.txt"), "new.exe\r\nnew.scr\r\n");
  EXPECT_EQ(ProgramFile("dnsbl.txt"), "bl.spamcop.net\r\n");
  EXPECT_FALSE(std::filesystem::exists(programFolder_ + "vlist1.txt"));
  EXPECT_THAT(statusTexts_,
              ElementsAre("Virus database has been updated.", "Virus database has been updated."));
  EXPECT_TRUE(dialogs_.MessageBoxes().empty());
}

TEST_F(ListUpdateTest, UnreachableEndpointChangesNothingAndShowsNothing) {
  RunUpdates("http://127.0.0.81");
  EXPECT_EQ(ProgramFile("vlist.txt"), "old.exe\r\n");
  EXPECT_EQ(ProgramFile("dnsbl.txt"), "old.zone.example\r\n");
  EXPECT_TRUE(statusTexts_.empty());
  EXPECT_TRUE(dialogs_.MessageBoxes().empty());
}

TEST_F(ListUpdateTest, MissingListOnTheServerKeepsTheShippedOne) {
  Publish("vlist.txt", "new.exe\r\n");
  auto server = ServeFiles();
  RunUpdates("http://" + server->Address());
  EXPECT_EQ(ProgramFile("vlist.txt"), "new.exe\r\n");
  EXPECT_EQ(ProgramFile("dnsbl.txt"), "old.zone.example\r\n");
  EXPECT_THAT(statusTexts_, ElementsAre("Virus database has been updated."));
}

TEST_F(ListUpdateTest, CompleteDownloadThatIsNotAListKeepsTheShippedOne) {
  Publish("vlist.txt", "<!DOCTYPE html><html><body>Parked domain</body></html>");
  Publish("dnsbl.txt", "this is not a zone\r\n");
  auto server = ServeFiles();
  RunUpdates("http://" + server->Address());
  EXPECT_EQ(ProgramFile("vlist.txt"), "old.exe\r\n");
  EXPECT_EQ(ProgramFile("dnsbl.txt"), "old.zone.example\r\n");
  EXPECT_TRUE(statusTexts_.empty());
}

}  // namespace
}  // namespace qb::testing
