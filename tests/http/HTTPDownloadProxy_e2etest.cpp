// THTTPDownload through a real proxy (tinyproxy) named by http_proxy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "http/DownloadTestFixture.h"
#include "http/HTTPDownload.h"
#include "http/TinyProxyProcess.h"

namespace qb::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

using ProxyDownloadTest = DownloadTest;

TEST_F(ProxyDownloadTest, EnabledProxyCarriesTheRequestToTheServer) {
  WriteBytes(PathIn("www/vlist.txt"), "virus.exe\r\nworm.scr\r\n");
  auto server = ServeFiles();
  TinyProxyProcess proxy(folder_);
  setenv("http_proxy", proxy.ProxyUrl().c_str(), 1);
  THTTPDownload download;
  download.URL = server->Url("/vlist.txt");
  download.FileName = PathIn("vlist1.txt");
  download.BinaryData = true;
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  ASSERT_TRUE(WaitForEnds(events));

  EXPECT_THAT(events.Order, ElementsAre("file"));
  EXPECT_EQ(ReadBytes(PathIn("vlist1.txt")), "virus.exe\r\nworm.scr\r\n");
  std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests[0], HasSubstr("tinyproxy"));
  EXPECT_THAT(requests[0], HasSubstr(R"("pragma": "no-cache")"));
}

TEST_F(ProxyDownloadTest, WithoutTheProxyVariableTheConnectionIsDirect) {
  WriteBytes(PathIn("www/vlist.txt"), "virus.exe\r\n");
  auto server = ServeFiles();
  TinyProxyProcess proxy(folder_);
  THTTPDownload download;
  download.URL = server->Url("/vlist.txt");
  download.FileName = PathIn("vlist1.txt");
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  ASSERT_TRUE(WaitForEnds(events));

  EXPECT_THAT(events.Order, ElementsAre("file"));
  std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests[0], Not(HasSubstr("tinyproxy")));
}

TEST_F(ProxyDownloadTest, ProxyErrorReplyFails) {
  TinyProxyProcess proxy(folder_);
  setenv("http_proxy", proxy.ProxyUrl().c_str(), 1);
  THTTPDownload download;
  download.URL = "http://127.0.0.79/vlist.txt";
  download.FileName = PathIn("vlist1.txt");
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  ASSERT_TRUE(WaitForEnds(events));
  EXPECT_THAT(events.Order, ElementsAre("error"));
}

}  // namespace
}  // namespace qb::testing
