// The listening server and line mode: clients accepted, greeted and cleaned
// up per second against a blocking accept loop, and 100-byte lines delivered
// per second by one line-mode connection against recv with a plain search.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "BenchRatio.h"
#include "PlainSockets.h"
#include "net/AsyncSocket.h"
#include "net/SocketServer.h"
#include "platform/MessageLoop.h"

namespace {

using namespace qb;
using Clock = std::chrono::steady_clock;
constexpr int kClients = 2000;
constexpr int kLines = 200000;
const std::string kBanner = "+OK POP3 Gateway ready";

using bench::BoundPort;
using bench::ConnectToLoopback;
using bench::ListenOnLoopback;

// Connects, reads the banner line, closes; kClients times, one after another.
void GreetedClients(int port) {
  for (int i = 0; i < kClients; ++i) {
    int fd = ConnectToLoopback(port);
    char buffer[64];
    std::size_t got = 0;
    while (got < kBanner.size() + 2) {
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    close(fd);
  }
}

double ServerClients() {
  TSocketServer server;
  server.Banner = kBanner;
  int cleaned = 0;
  server.OnClientDisconnect = [&](TCustomSocketServer*, TSocketClient*, std::uint16_t) {
    ++cleaned;
  };
  server.SetAddr("127.0.0.1");
  server.SetPort("0");
  server.Listen();
  auto started = Clock::now();
  std::thread clients(GreetedClients, BoundPort(server.HSocket()));
  while (cleaned < kClients && Clock::now() - started < std::chrono::seconds(60)) {
    MessageLoop::Instance().WaitAndDispatch(std::chrono::milliseconds(50));
  }
  clients.join();
  return std::chrono::duration<double>(Clock::now() - started).count();
}

double BlockingAcceptLoop() {
  int listener = ListenOnLoopback(5);
  auto started = Clock::now();
  std::thread clients(GreetedClients, BoundPort(listener));
  std::string banner = kBanner + "\r\n";
  for (int i = 0; i < kClients; ++i) {
    int fd = accept(listener, nullptr, nullptr);
    send(fd, banner.data(), banner.size(), MSG_NOSIGNAL);
    char byte;
    recv(fd, &byte, 1, 0);  // the client's close
    close(fd);
  }
  clients.join();
  close(listener);
  return std::chrono::duration<double>(Clock::now() - started).count();
}

std::string Lines() {
  std::string line(98, 'l');
  line += "\r\n";
  std::string all;
  all.reserve(line.size() * kLines);
  for (int i = 0; i < kLines; ++i) all += line;
  return all;
}

void SendAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

double LineModeLines() {
  TSocketServer server;
  server.Banner = "";
  int lines = 0;
  server.OnClientConnect = [&](TCustomSocketServer*, TSocketClient* client, std::uint16_t) {
    client->SetLineMode(true);
    client->OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
      if (!s->ReceiveString().empty()) ++lines;
    };
  };
  server.SetAddr("127.0.0.1");
  server.SetPort("0");
  server.Listen();
  std::string bytes = Lines();
  int port = BoundPort(server.HSocket());
  auto started = Clock::now();
  std::thread sender([&] {
    int fd = ConnectToLoopback(port);
    SendAll(fd, bytes);
    close(fd);
  });
  while (lines < kLines && Clock::now() - started < std::chrono::seconds(60)) {
    MessageLoop::Instance().WaitAndDispatch(std::chrono::milliseconds(50));
  }
  double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  sender.join();
  return seconds;
}

double PlainSplitLines() {
  int listener = ListenOnLoopback(1);
  std::string bytes = Lines();
  int port = BoundPort(listener);
  auto started = Clock::now();
  std::thread sender([&] {
    int fd = ConnectToLoopback(port);
    SendAll(fd, bytes);
    close(fd);
  });
  int fd = accept(listener, nullptr, nullptr);
  std::string pending;
  char buffer[65536];
  int lines = 0;
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end;
         (end = std::string_view(pending).find("\r\n", start)) != std::string::npos;) {
      ++lines;
      start = end + 2;
    }
    pending.erase(0, start);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  sender.join();
  close(fd);
  close(listener);
  benchmark::DoNotOptimize(lines);
  return seconds;
}

void Measure(benchmark::State& state, const char* name, double (*run)(), double units) {
  double seconds = 0;
  for (auto _ : state) {
    double s = run();
    state.SetIterationTime(s);
    seconds += s;
  }
  state.counters["per_second"] = units * static_cast<double>(state.iterations()) / seconds;
  qb::bench::Record(name, units * static_cast<double>(state.iterations()) / seconds);
}

void BM_ServerClients(benchmark::State& s) {
  Measure(s, "server clients/s", ServerClients, kClients);
}
void BM_BlockingAccept(benchmark::State& s) {
  Measure(s, "blocking accept loop clients/s", BlockingAcceptLoop, kClients);
}
void BM_LineMode(benchmark::State& s) {
  Measure(s, "line mode lines/s", LineModeLines, kLines);
}
void BM_PlainSplit(benchmark::State& s) {
  Measure(s, "recv + plain search lines/s", PlainSplitLines, kLines);
}

BENCHMARK(BM_ServerClients)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockingAccept)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineMode)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainSplit)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return qb::bench::RunAndCompare(argc, argv,
                                  {{"server clients/s", "blocking accept loop clients/s"},
                                   {"line mode lines/s", "recv + plain search lines/s"}},
                                  "per second");
}
