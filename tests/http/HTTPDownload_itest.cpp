// THTTPDownload against real servers on loopback: http.server for ordinary
// replies, a scripted raw server for the ones it cannot make.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "http/DownloadTestFixture.h"
#include "http/HTTPDownload.h"
#include "platform/InternetSettings.h"
#include "support/RecordingDialogs.h"

namespace qb::testing {
namespace {

using test::PumpFor;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::string Body(std::size_t size) {
  std::string body;
  for (std::size_t i = 0; i < size; ++i) body += static_cast<char>('a' + i % 26);
  return body;
}

std::string Reply(const std::string& head, const std::string& body) {
  return "HTTP/1.0 200 OK\r\n" + head + "\r\n" + body;
}

using CompleteDownloadTest = DownloadTest;

TEST_F(CompleteDownloadTest, WritesTheFileAndReportsNameAndSizeOnTheMainThread) {
  std::string body = Body(5000) + std::string("\0\r\n\xff", 4);
  WriteBytes(PathIn("www/list.txt"), body);
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/list.txt");
  download.FileName = PathIn("list1.txt");
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  EXPECT_TRUE(download.Downloading());
  ASSERT_TRUE(WaitForEnds(events));

  EXPECT_THAT(events.Order, ElementsAre("file"));
  EXPECT_TRUE(events.AllOnMainThread);
  EXPECT_EQ(events.FileName, PathIn("list1.txt"));
  EXPECT_EQ(events.FileSize, static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(ReadBytes(PathIn("list1.txt")), body);
  EXPECT_TRUE(download.Succeeded());
  EXPECT_FALSE(download.Downloading());
}

TEST_F(CompleteDownloadTest, AsksForAFreshCopyWithTheDefaultAcceptAndNoAgent) {
  WriteBytes(PathIn("www/a.txt"), "a");
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/a.txt");
  download.FileName = PathIn("a.txt");
  ASSERT_TRUE(RunToEnd(download));

  std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests[0];
  EXPECT_THAT(request, HasSubstr(R"("method": "GET", "path": "/a.txt")"));
  EXPECT_THAT(request, HasSubstr(R"("accept": "*/*")"));
  EXPECT_THAT(request, HasSubstr(R"("pragma": "no-cache")"));
  EXPECT_THAT(request, HasSubstr(R"("cache-control": "no-cache")"));
  EXPECT_THAT(request, Not(HasSubstr("user-agent")));
  EXPECT_THAT(request, Not(HasSubstr("referer")));
  EXPECT_THAT(request, Not(HasSubstr("authorization")));
}

TEST_F(CompleteDownloadTest, SendsTheChosenAcceptTypesRefererAgentAndCredentials) {
  WriteBytes(PathIn("www/a.txt"), "a");
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/a.txt");
  download.FileName = PathIn("a.txt");
  download.AcceptTypes = "text/plain";
  download.Referer = "http://example.invalid/from";
  download.Agent = "Quillbright";
  download.UserName = "ann";
  download.Password = "secret";
  download.UseCache = true;
  ASSERT_TRUE(RunToEnd(download));

  std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests[0];
  EXPECT_THAT(request, HasSubstr(R"("accept": "text/plain")"));
  EXPECT_THAT(request, HasSubstr(R"("referer": "http://example.invalid/from")"));
  EXPECT_THAT(request, HasSubstr(R"("user-agent": "Quillbright")"));
  EXPECT_THAT(request, HasSubstr(R"("authorization": "Basic YW5uOnNlY3JldA==")"));
  EXPECT_THAT(request, Not(HasSubstr("no-cache")));
}

TEST_F(CompleteDownloadTest, PostQueryIsSentAsAFormEncodedPost) {
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/form");
  download.PostQuery = "name=ann&list=vlist";
  ASSERT_TRUE(RunToEnd(download, false));

  EXPECT_THAT(events_.Order, ElementsAre("string"));
  EXPECT_EQ(events_.Text, "posted:name=ann&list=vlist");
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_THAT(Requests()[0], HasSubstr(R"("method": "POST")"));
  EXPECT_THAT(Requests()[0], HasSubstr(R"("content-type": "application/x-www-form-urlencoded")"));
  EXPECT_THAT(Requests()[0], HasSubstr(R"("body": "name=ann&list=vlist")"));
}

TEST_F(CompleteDownloadTest, ProgressFollowsEveryBlockOfAtMost1025BytesBeforeTheEnd) {
  const std::int64_t size = 20000;
  WriteBytes(PathIn("www/big.txt"), Body(size));
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/big.txt");
  download.FileName = PathIn("big.txt");
  RecordedEvents events;
  events.Attach(download);
  events.AttachProgress(download);
  download.DownloadFile();
  ASSERT_TRUE(WaitForEnds(events));

  ASSERT_FALSE(events.Progress.empty());
  EXPECT_EQ(events.Order.back(), "file");
  EXPECT_TRUE(events.AllOnMainThread);
  std::int64_t previous = 0;
  for (const auto& [total, readed] : events.Progress) {
    EXPECT_EQ(total, size);
    EXPECT_GT(readed, previous);
    EXPECT_LE(readed - previous, 1025);
    previous = readed;
  }
  EXPECT_EQ(previous, size);
  EXPECT_GE(events.Progress.size(), static_cast<std::size_t>(size / 1025));
}

TEST_F(CompleteDownloadTest, ThrowingProgressHandlerIsReportedAndDoesNotHoldUpTheDownload) {
  WriteBytes(PathIn("www/big.txt"), Body(5000));
  auto server = ServeFiles();
  test::RecordingDialogs dialogs;
  THTTPDownload download;
  download.URL = server->Url("/big.txt");
  download.FileName = PathIn("big.txt");
  int calls = 0;
  download.OnProgress = [&](THTTPDownloadThread&, std::int64_t, std::int64_t) {
    if (++calls == 1) throw std::runtime_error("progress handler failed");
  };
  ASSERT_TRUE(RunToEnd(download));
  EXPECT_THAT(events_.Order, ElementsAre("file"));
  EXPECT_GT(calls, 1);
  EXPECT_THAT(dialogs.MessageTexts(), ElementsAre("progress handler failed"));
}

TEST_F(CompleteDownloadTest, CapitalPrefixIsStillRecognised) {
  WriteBytes(PathIn("www/a.txt"), "abc");
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = "HTTP://" + server->Address() + "/a.txt";
  download.FileName = PathIn("a.txt");
  ASSERT_TRUE(RunToEnd(download));
  EXPECT_THAT(events_.Order, ElementsAre("file"));
  EXPECT_EQ(ReadBytes(PathIn("a.txt")), "abc");
}

TEST_F(CompleteDownloadTest, WaitThreadReturnsOnlyAfterTheEndWasDelivered) {
  WriteBytes(PathIn("www/a.txt"), "abc");
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/a.txt");
  download.FileName = PathIn("a.txt");
  download.WaitThread = true;
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  EXPECT_THAT(events.Order, ElementsAre("file"));
  EXPECT_FALSE(download.Downloading());
}

// A raw server's reply that must end in one error event, and what the
// target file holds afterwards.
struct RawReplyFailure {
  const char* Name;
  std::string Reply;
  bool BinaryData = false;
  bool ToFile = true;
  enum { NotChecked, NoFile, Holds } FileAfter = NotChecked;
  const char* Content = "";  // with Holds
};

void PrintTo(const RawReplyFailure& failure, std::ostream* out) {
  *out << failure.Name;
}

const RawReplyFailure kRawReplyFailures[] = {
    {"BodyShorterThanAnnounced", Reply("Content-Length: 10\r\n", "short")},
    {"BodyLongerThanAnnounced", Reply("Content-Length: 3\r\n", "too long")},
    {"NoContentLengthWithBinaryDataCreatesNoFile", Reply("", "a list"), true, true,
     RawReplyFailure::NoFile},
    {"NoContentLengthWithoutBinaryDataKeepsTheBodyRead", Reply("", "a list"), false, true,
     RawReplyFailure::Holds, "a list"},
    {"ContentLengthThatIsNotANumber", Reply("Content-Length: ten\r\n", "0123456789")},
    {"CompleteErrorPageWithItsLength",
     "HTTP/1.0 503 Service Unavailable\r\nContent-Length: 32\r\n\r\n"
     "<html>Service Unavailable</html>",
     false, true, RawReplyFailure::NoFile},
    {"EmptyText", Reply("Content-Length: 0\r\n", ""), false, false},
    {"TextShorterThanAnnounced", Reply("Content-Length: 100\r\n", "some text"), false, false},
};

class RawReplyFailureTest : public DownloadTest,
                            public ::testing::WithParamInterface<RawReplyFailure> {};

TEST_P(RawReplyFailureTest, EndsInOneError) {
  const RawReplyFailure& failure = GetParam();
  auto server = ServeRawReply(failure.Reply);
  THTTPDownload download;
  download.URL = server->Url("/list.txt");
  if (failure.ToFile) download.FileName = PathIn("list1.txt");
  download.BinaryData = failure.BinaryData;
  ASSERT_TRUE(RunToEnd(download, failure.ToFile));
  EXPECT_THAT(events_.Order, ElementsAre("error"));
  EXPECT_FALSE(download.Succeeded());
  if (failure.FileAfter == RawReplyFailure::NoFile) {
    EXPECT_FALSE(std::filesystem::exists(PathIn("list1.txt")));
  } else if (failure.FileAfter == RawReplyFailure::Holds) {
    EXPECT_EQ(ReadBytes(PathIn("list1.txt")), failure.Content);
  }
}

INSTANTIATE_TEST_SUITE_P(FailedDownload, RawReplyFailureTest,
                         ::testing::ValuesIn(kRawReplyFailures),
                         [](const auto& info) { return std::string(info.param.Name); });

// A download that fails before any request reaches the file server: the URL
// after "http://<server address>", and what the test changes first.
struct RefusedBeforeRequest {
  const char* Name;
  const char* AfterAddress;
  void (*Prepare)();
};

void PrintTo(const RefusedBeforeRequest& refused, std::ostream* out) {
  *out << refused.Name;
}

const RefusedBeforeRequest kRefusedBeforeRequest[] = {
    {"UrlWithoutAPathHasNoHost", "", [] {}},
    {"APortThatIsNotANumberIsNoHostName", ":8o/a.txt", [] {}},
    {"UnreadableProxySettings", "/a.txt", [] { SetInternetSettingsUnreadable(true); }},
    {"EnabledProxyThatIsNotThereEvenForALoopbackHost", "/a.txt",
     [] { setenv("http_proxy", "http://127.0.0.78:3128/", 1); }},
};

class RefusedBeforeRequestTest : public DownloadTest,
                                 public ::testing::WithParamInterface<RefusedBeforeRequest> {};

TEST_P(RefusedBeforeRequestTest, FailsAndSendsNothing) {
  WriteBytes(PathIn("www/a.txt"), "abc");
  auto server = ServeFiles();
  GetParam().Prepare();
  THTTPDownload download;
  download.URL = "http://" + server->Address() + GetParam().AfterAddress;
  download.FileName = PathIn("a.txt");
  ASSERT_TRUE(RunToEnd(download));
  EXPECT_THAT(events_.Order, ElementsAre("error"));
  EXPECT_TRUE(Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(FailedDownload, RefusedBeforeRequestTest,
                         ::testing::ValuesIn(kRefusedBeforeRequest),
                         [](const auto& info) { return std::string(info.param.Name); });

using FailedDownloadTest = DownloadTest;

TEST_F(FailedDownloadTest, ErrorStatusFailsAndLeavesTheExistingFileAlone) {
  auto server = ServeFiles();
  WriteBytes(PathIn("list1.txt"), "the old list");
  THTTPDownload download;
  download.URL = server->Url("/missing.txt");
  download.FileName = PathIn("list1.txt");
  ASSERT_TRUE(RunToEnd(download));
  EXPECT_THAT(events_.Order, ElementsAre("error"));
  EXPECT_EQ(ReadBytes(PathIn("list1.txt")), "the old list");
  EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(FailedDownloadTest, NoServerListeningFails) {
  THTTPDownload download;
  download.URL = "http://127.0.0.77/list.txt";
  download.FileName = PathIn("list1.txt");
  ASSERT_TRUE(RunToEnd(download));
  EXPECT_THAT(events_.Order, ElementsAre("error"));
  EXPECT_FALSE(std::filesystem::exists(PathIn("list1.txt")));
}

using EmptyBodyTest = DownloadTest;

TEST_F(EmptyBodyTest, FileWithoutContentLengthSucceedsOnlyWhenTheBodyIsEmpty) {
  auto server = ServeRawReply(Reply("", ""));
  THTTPDownload download;
  download.URL = server->Url("/empty.txt");
  download.FileName = PathIn("empty.txt");
  ASSERT_TRUE(RunToEnd(download));
  EXPECT_THAT(events_.Order, ElementsAre("file"));
  EXPECT_EQ(events_.FileSize, 0);
  EXPECT_TRUE(std::filesystem::exists(PathIn("empty.txt")));
}

TEST_F(EmptyBodyTest, TextWithoutContentLengthSucceedsWhenAnyByteArrived) {
  auto server = ServeRawReply(Reply("", "some text"));
  THTTPDownload download;
  download.URL = server->Url("/text");
  ASSERT_TRUE(RunToEnd(download, false));
  EXPECT_THAT(events_.Order, ElementsAre("string"));
  EXPECT_EQ(events_.Text, "some text");
}

using OneDownloadAtATimeTest = DownloadTest;

TEST_F(OneDownloadAtATimeTest, SecondStartWhileRunningDoesNothingButOneAfterTheEndRuns) {
  WriteBytes(PathIn("www/a.txt"), "abc");
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/a.txt");
  download.FileName = PathIn("a.txt");
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  download.DownloadFile();
  ASSERT_TRUE(WaitForEnds(events));
  PumpFor(300ms);
  EXPECT_THAT(events.Order, ElementsAre("file"));
  EXPECT_EQ(Requests().size(), 1u);

  download.DownloadFile();
  ASSERT_TRUE(WaitForEnds(events, 2));
  EXPECT_THAT(events.Order, ElementsAre("file", "file"));
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(OneDownloadAtATimeTest, HandlerOfTheEndMayStartTheNextDownload) {
  WriteBytes(PathIn("www/a.txt"), "abc");
  auto server = ServeFiles();
  THTTPDownload download;
  download.URL = server->Url("/a.txt");
  download.FileName = PathIn("a.txt");
  int ends = 0;
  download.OnDoneFile = [&](THTTPDownload& sender, const std::string&, std::int64_t) {
    if (++ends == 1) sender.DownloadFile();
  };
  download.DownloadFile();
  ASSERT_TRUE(WaitFor([&] { return ends == 2; }));
  EXPECT_EQ(Requests().size(), 2u);
}

using StoppedDownloadTest = DownloadTest;

TEST_F(StoppedDownloadTest, WaitThreadGivesUpAfterItsLimitOnASilentServer) {
  auto server = ServeSilence();
  THTTPDownload download;
  download.URL = server->Url("/list.txt");
  download.FileName = PathIn("list1.txt");
  download.WaitThread = true;
  download.WaitLimit = 400ms;
  RecordedEvents events;
  events.Attach(download);
  auto started = std::chrono::steady_clock::now();
  download.DownloadFile();
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, 400ms);
  EXPECT_LT(waited, 5s);
  EXPECT_TRUE(download.Downloading());
  EXPECT_TRUE(events.Order.empty());
}

TEST_F(StoppedDownloadTest, StopDownloadEndsWithOneErrorAtOnce) {
  auto server = ServeSilence();
  THTTPDownload download;
  download.URL = server->Url("/list.txt");
  download.FileName = PathIn("list1.txt");
  RecordedEvents events;
  events.Attach(download);
  download.DownloadFile();
  PumpFor(200ms);
  download.StopDownload();
  EXPECT_FALSE(download.Succeeded());
  ASSERT_TRUE(WaitForEnds(events, 1));
  PumpFor(200ms);
  EXPECT_THAT(events.Order, ElementsAre("error"));
  EXPECT_FALSE(download.Downloading());
}

TEST_F(StoppedDownloadTest, DestroyedWhileWaitingForAReplyFiresNothingAndReturnsAtOnce) {
  auto server = ServeSilence();
  RecordedEvents events;
  auto download = std::make_unique<THTTPDownload>();
  download->URL = server->Url("/list.txt");
  download->FileName = PathIn("list1.txt");
  events.Attach(*download);
  download->DownloadFile();
  PumpFor(200ms);
  auto destroying = std::chrono::steady_clock::now();
  download.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - destroying, 2s);
  PumpFor(300ms);
  EXPECT_TRUE(events.Order.empty());
}

// The worker waits for the main thread after every block; destroying the
// component while a progress hand-off is pending must neither hang nor
// deliver anything afterwards.
TEST_F(StoppedDownloadTest, DestroyedDuringProgressHandOffsFiresNothing) {
  WriteBytes(PathIn("www/big.bin"), Body(2'000'000));
  auto server = ServeFiles();
  RecordedEvents events;
  auto download = std::make_unique<THTTPDownload>();
  download->URL = server->Url("/big.bin");
  download->FileName = PathIn("big.bin");
  events.Attach(*download);
  events.AttachProgress(*download);
  download->DownloadFile();
  ASSERT_TRUE(WaitFor([&] { return events.Progress.size() >= 3; }));
  std::size_t progressSeen = events.Order.size();
  download.reset();
  PumpFor(300ms);
  EXPECT_EQ(events.Order.size(), progressSeen);
  EXPECT_EQ(events.Ends(), 0);
}

}  // namespace
}  // namespace qb::testing
