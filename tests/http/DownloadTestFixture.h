// What the download tests share: a sandbox folder per test, the test
// servers, an event recorder, and a bounded wait that turns the loop.
#pragma once

#include <cerrno>

#include <unistd.h>

#include <sys/socket.h>

#include <netinet/in.h>

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "http/HTTPDownload.h"
#include "http/ServerProcess.h"
#include "platform/InternetSettings.h"
#include "platform/MessageLoop.h"
#include "support/ProgramEnvironment.h"
#include "support/PumpUntil.h"
#include "support/TempFolder.h"

namespace qb::testing {

using namespace std::chrono_literals;

// Every event a component fired, in order.
struct RecordedEvents {
  std::vector<std::string> Order;  // "progress", "file", "string", "error"
  std::vector<std::pair<std::int64_t, std::int64_t>> Progress;  // TotalSize, Readed
  std::string FileName;
  std::int64_t FileSize = -1;
  std::string Text;
  bool AllOnMainThread = true;

  void Attach(THTTPDownload& download) {
    download.OnDoneFile = [this](THTTPDownload&, const std::string& name, std::int64_t size) {
      Note("file");
      FileName = name;
      FileSize = size;
    };
    download.OnDoneString = [this](THTTPDownload&, const std::string& text) {
      Note("string");
      Text = text;
    };
    download.OnError = [this](THTTPDownload&) { Note("error"); };
  }
  void AttachProgress(THTTPDownload& download) {
    download.OnProgress = [this](THTTPDownloadThread&, std::int64_t total, std::int64_t readed) {
      Note("progress");
      Progress.emplace_back(total, readed);
    };
  }
  int Ends() const {
    int ends = 0;
    for (const std::string& event : Order) ends += event != "progress";
    return ends;
  }
  std::vector<std::string> EndEvents() const {
    std::vector<std::string> ends;
    for (const std::string& event : Order) {
      if (event != "progress") ends.push_back(event);
    }
    return ends;
  }

 private:
  void Note(const std::string& event) {
    Order.push_back(event);
    AllOnMainThread = AllOnMainThread && MessageLoop::Instance().IsMainThread();
  }
};

// Turns the loop until `done` holds (15 s at most); whether it held.
inline bool WaitFor(const std::function<bool()>& done) {
  return test::PumpUntil(done, 15s);
}

// Most test servers listen on port 80 (an address without a port) of
// loopback addresses of their own: that needs root, or a system that lets
// every user bind low ports.
inline bool CanBindPort80() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(80);
  address.sin_addr.s_addr = htonl(0x7F00FE01);  // 127.0.254.1
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  bool bound =
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno != EACCES;
  close(fd);
  return bound;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CanBindPort80()) GTEST_SKIP() << "the test servers need to bind port 80 (run as root)";
    sandbox_.emplace("qb-http");
    folder_ = sandbox_->Path();
    std::filesystem::create_directory(folder_ / "www");
    proxy_.emplace("http_proxy", std::nullopt);
  }

  void TearDown() override {
    MessageLoop& loop = MessageLoop::Instance();
    loop.ProcessMessages();
    EXPECT_EQ(loop.WindowCount(), 0u) << "a window was left behind";
    EXPECT_EQ(loop.TimerCount(), 0u) << "a timer was left behind";
    EXPECT_EQ(loop.WatchCount(), 0u) << "a descriptor was left watched";
    SetInternetSettingsUnreadable(false);
    proxy_.reset();
    sandbox_.reset();
  }

  std::string PathIn(const std::string& name) const { return (folder_ / name).string(); }

  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  // http.server serving the sandbox's www folder, with more of its options
  // ("--port", "--cert", "--key").
  std::unique_ptr<ServerProcess> ServeFiles(const std::vector<std::string>& more = {}) {
    std::vector<std::string> options{"--root", PathIn("www"), "--log", PathIn("requests.log")};
    options.insert(options.end(), more.begin(), more.end());
    return std::make_unique<ServerProcess>("http_server.py", options);
  }

  // A raw server that answers every request with exactly `reply`.
  std::unique_ptr<ServerProcess> ServeRawReply(const std::string& reply) {
    WriteBytes(PathIn("reply.bin"), reply);
    return std::make_unique<ServerProcess>(
        "raw_server.py", std::vector<std::string>{"--reply", PathIn("reply.bin")});
  }

  // A server that accepts and never answers.
  std::unique_ptr<ServerProcess> ServeSilence() {
    return std::make_unique<ServerProcess>("raw_server.py", std::vector<std::string>{"--silent"});
  }

  // The requests http.server saw, one JSON object a line.
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::ifstream log(PathIn("requests.log"));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
  }

  // Turns the loop until `events` holds `ends` end events.
  static bool WaitForEnds(const RecordedEvents& events, int ends = 1) {
    return WaitFor([&] { return events.Ends() >= ends; });
  }

  // Runs one download to its end, its events recorded in events_.
  bool RunToEnd(THTTPDownload& download, bool toFile = true) {
    events_.Attach(download);
    if (toFile) {
      download.DownloadFile();
    } else {
      download.DownloadString();
    }
    return WaitForEnds(events_);
  }

  std::optional<test::TempFolder> sandbox_;
  std::optional<test::ScopedVariable> proxy_;  // a test may set http_proxy meanwhile
  std::filesystem::path folder_;
  RecordedEvents events_;  // outlives the components of a test body
};

}  // namespace qb::testing
