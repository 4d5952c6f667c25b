// A 100 MB download from a local http.server: THTTPDownload (with and
// without a progress handler) against the curl command-line tool fetching
// the same file from the same server. Prints each rate in MB/s and its
// ratio to curl's at the end.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "http/HTTPDownload.h"
#include "http/ServerProcess.h"
#include "platform/MessageLoop.h"
#include "support/ChildProcess.h"

namespace {

constexpr std::int64_t kFileSize = 100 * 1024 * 1024;

// The served file and its server, made once for all runs.
struct Fixture {
  std::filesystem::path folder;
  std::unique_ptr<qb::testing::ServerProcess> server;

  Fixture() {
    char pattern[] = "/tmp/qb-bench-http-XXXXXX";
    folder = mkdtemp(pattern);
    std::filesystem::create_directory(folder / "www");
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    std::ofstream file(folder / "www" / "big.bin", std::ios::binary);
    for (std::int64_t written = 0; written < kFileSize; written += block.size()) file << block;
    file.close();
    server = std::make_unique<qb::testing::ServerProcess>(
        "http_server.py", std::vector<std::string>{"--root", (folder / "www").string(), "--log",
                                                   (folder / "requests.log").string()});
  }
  ~Fixture() {
    server.reset();
    std::filesystem::remove_all(folder);
  }
  std::string Url() const { return server->Url("/big.bin"); }
  std::string Target() const { return (folder / "big.bin").string(); }
};

Fixture& SharedFixture() {
  static Fixture fixture;
  return fixture;
}

void Record(benchmark::State& state, const std::string& name, double seconds) {
  double megabytes = static_cast<double>(state.iterations() * kFileSize) / (1024.0 * 1024.0);
  qb::bench::Record(name, megabytes / seconds);
  state.SetBytesProcessed(state.iterations() * kFileSize);
}

// One download to its end; whether it succeeded with the whole file.
bool DownloadOnce(bool withProgress, std::int64_t& progressCalls) {
  qb::THTTPDownload download;
  download.URL = SharedFixture().Url();
  download.FileName = SharedFixture().Target();
  download.BinaryData = true;
  if (withProgress) {
    download.OnProgress = [&](qb::THTTPDownloadThread&, std::int64_t, std::int64_t) {
      ++progressCalls;
    };
  }
  std::int64_t size = -1;
  bool ended = false;
  download.OnDoneFile = [&](qb::THTTPDownload&, const std::string&, std::int64_t fileSize) {
    size = fileSize;
    ended = true;
  };
  download.OnError = [&](qb::THTTPDownload&) { ended = true; };
  download.DownloadFile();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!ended && std::chrono::steady_clock::now() < deadline) {
    qb::MessageLoop::Instance().WaitAndDispatch(std::chrono::milliseconds(100));
  }
  return size == kFileSize;
}

void RunComponent(benchmark::State& state, const std::string& name, bool withProgress) {
  SharedFixture();
  double seconds = 0;
  std::int64_t progressCalls = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!DownloadOnce(withProgress, progressCalls)) state.SkipWithError("download failed");
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  if (withProgress) {
    state.counters["progress_events"] =
        static_cast<double>(progressCalls) / static_cast<double>(state.iterations());
  }
  Record(state, name, seconds);
}

void BM_THTTPDownload(benchmark::State& state) {
  RunComponent(state, "component", false);
}

void BM_THTTPDownloadWithProgress(benchmark::State& state) {
  RunComponent(state, "component with progress", true);
}

bool CurlOnce() {
  std::vector<std::string> argv{
      "curl", "-s", "-f", "-0", "-o", SharedFixture().Target(), SharedFixture().Url()};
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
         std::filesystem::file_size(SharedFixture().Target()) == kFileSize;
}

void BM_CurlCommandLine(benchmark::State& state) {
  SharedFixture();
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!CurlOnce()) state.SkipWithError("curl failed");
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  Record(state, "curl", seconds);
}

BENCHMARK(BM_CurlCommandLine)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_THTTPDownload)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_THTTPDownloadWithProgress)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return qb::bench::RunAndCompare(
      argc, argv, {{"component", "curl"}, {"component with progress", "curl"}}, "MB/s");
}
