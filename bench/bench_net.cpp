// Throughput of the event-driven socket: 256 MB in sends of 1 MB between two
// TAsyncSocket objects on loopback through the message loop, against plain
// blocking send/recv of the same bytes between two threads.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "BenchRatio.h"
#include "PlainSockets.h"
#include "net/AsyncSocket.h"
#include "platform/MessageLoop.h"

namespace {

using namespace qb;
constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kTotal = 256 * kChunk;

using bench::BoundPort;

// One transfer of kTotal bytes through the loop; returns the seconds taken.
double TransferThroughLoop() {
  auto& loop = MessageLoop::Instance();
  TAsyncSocket listener;
  std::unique_ptr<TAsyncSocket> receiver;
  TAsyncSocket sender;
  std::string chunk(kChunk, 'x');
  std::size_t queued = 0;
  std::size_t received = 0;
  std::string buffer(1 << 18, '\0');

  listener.OnSessionAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    receiver = std::make_unique<TAsyncSocket>();
    receiver->OnDataAvailable = [&](TCustomAsyncSocket* r, std::uint16_t) {
      int n = r->Receive(buffer.data(), static_cast<int>(buffer.size()));
      if (n > 0) received += static_cast<std::size_t>(n);
    };
    receiver->Dup(s->Accept());
  };
  listener.SetAddr("127.0.0.1");
  listener.SetPort("0");
  listener.Listen();

  auto started = std::chrono::steady_clock::now();
  sender.OnDataSent = [&](TCustomAsyncSocket* s, std::uint16_t) {
    if (queued < kTotal) {
      queued += kChunk;
      s->SendString(chunk);
    }
  };
  sender.SetAddr("127.0.0.1");
  sender.SetPort(std::to_string(BoundPort(listener.HSocket())));
  sender.Connect();
  auto deadline = started + std::chrono::seconds(120);
  while (received < kTotal && std::chrono::steady_clock::now() < deadline) {
    loop.WaitAndDispatch(std::chrono::milliseconds(100));
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  sender.Close();
  receiver.reset();
  listener.Close();
  loop.ProcessMessages();
  return seconds;
}

// The baseline: blocking send/recv between two threads.
double TransferBlocking() {
  int listenFd = bench::ListenOnLoopback(1);
  int port = BoundPort(listenFd);
  auto started = std::chrono::steady_clock::now();
  std::thread senderThread([&] {
    int fd = bench::ConnectToLoopback(port);
    std::string chunk(kChunk, 'x');
    for (std::size_t sent = 0; sent < kTotal;) {
      ssize_t n = send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    close(fd);
  });
  int peer = accept(listenFd, nullptr, nullptr);
  std::string buffer(1 << 18, '\0');
  std::size_t received = 0;
  while (received < kTotal) {
    ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    received += static_cast<std::size_t>(n);
  }
  senderThread.join();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  close(peer);
  close(listenFd);
  return seconds;
}

void Measure(benchmark::State& state, const char* name, double (*transfer)()) {
  double seconds = 0;
  for (auto _ : state) {
    double s = transfer();
    state.SetIterationTime(s);
    seconds += s;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
  qb::bench::Record(name, static_cast<double>(state.iterations() * kTotal) / seconds / 1e6);
}

void BM_AsyncSocketThroughLoop(benchmark::State& state) {
  Measure(state, "TAsyncSocket through the loop", TransferThroughLoop);
}
void BM_BlockingSendRecv(benchmark::State& state) {
  Measure(state, "blocking send/recv, two threads", TransferBlocking);
}

BENCHMARK(BM_AsyncSocketThroughLoop)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockingSendRecv)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return qb::bench::RunAndCompare(
      argc, argv, {{"TAsyncSocket through the loop", "blocking send/recv, two threads"}}, "MB/s");
}
