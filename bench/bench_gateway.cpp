// What the gateway costs a mail check: RETR of a 50 MB message and 10,000
// NOOP round trips, once straight from the scripted POP3 server, once
// through a minimal relay in plain C (PlainRelay.c, on a thread), and once
// through a TMailGateway with the relay-only handler. The mail client is a
// blocking client on a thread of its own; the gateway runs on the main
// thread's message loop, as in the program.
//
// Flow control: a client that reads QB_GWBENCH_SLOW_MB (default 50, at most QB_GWBENCH_MESSAGE_MB)
// at QB_GWBENCH_SLOW_RATE MB/s (default 10) through the gateway, with the session's queue bound as
// the program has it and with it lifted (as the relay was before it had one); the figure is the
// most bytes the session held queued for the client, sampled at every turn of the loop.
//
// RETR is timed twice: from sending the command to reading the terminator
// (what the mail client waits), and from the first reply byte to the
// terminator (the transfer alone, without the scripted server's time to
// build its 50 MB reply). MB/s count the reply bytes on the wire, in 10^6.
//
// For profiling runs the sizes can be made smaller:
//   QB_GWBENCH_MESSAGE_MB (default 50), QB_GWBENCH_NOOPS (default 10000).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "BenchRatio.h"
#include "PlainRelay.h"
#include "gateway/MailGW.h"
#include "gateway/RelayHandler.h"
#include "platform/MessageLoop.h"
#include "support/LoopbackSockets.h"
#include "support/Pop3Text.h"
#include "support/ScriptedPop3Server.h"

namespace {

using namespace qb;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr auto kSessionTimeout = std::chrono::seconds(60);
constexpr std::size_t kReadChunk = 1 << 20;

const char* const kRetrDirect = "RETR direct, MB/s";
const char* const kRetrGateway = "RETR through the gateway, MB/s";
const char* const kTransferDirect = "RETR first byte to end, direct, MB/s";
const char* const kTransferGateway = "RETR first byte to end, gateway, MB/s";
const char* const kRetrRelay = "RETR through a plain C relay, MB/s";
const char* const kTransferRelay = "RETR first byte to end, C relay, MB/s";
const char* const kNoopRelay = "NOOP through a plain C relay, round trips/s";
const char* const kNoopDirect = "NOOP direct, round trips/s";
const char* const kNoopGateway = "NOOP through the gateway, round trips/s";

std::size_t SizeFromEnvironment(const char* name, std::size_t fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  std::size_t value = std::strtoul(text, nullptr, 10);
  return value > 0 ? value : fallback;
}

std::size_t MessageBytes() {
  static const std::size_t bytes = SizeFromEnvironment("QB_GWBENCH_MESSAGE_MB", 50) << 20;
  return bytes;
}

std::size_t NoopCount() {
  static const std::size_t count = SizeFromEnvironment("QB_GWBENCH_NOOPS", 10000);
  return count;
}

// A plain-text mail of MessageBytes(): a usual header, then lines of 60 to 76
// characters ending in CR LF, one in 40 beginning with "." so that the server
// dot-stuffs and the client sees ".." lines.
const std::string& LargeMessage() {
  static const std::string message = [] {
    std::string text =
        "Return-Path: <bob@example.org>\r\n"
        "Received: from mx.example.org (mx.example.org [192.0.2.7])\r\n"
        "\tby pop.example.net with ESMTP id 4F2A1C; Tue, 4 Mar 2025 09:12:44 +0100\r\n"
        "From: Bob Example <bob@example.org>\r\n"
        "To: Alice <alice@example.net>\r\n"
        "Subject: Quarterly figures, all of them\r\n"
        "Date: Tue, 4 Mar 2025 09:12:40 +0100\r\n"
        "Message-ID: <20250304091240.4F2A1C@example.org>\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n"
        "Content-Transfer-Encoding: 7bit\r\n"
        "\r\n";
    const std::size_t target = MessageBytes();
    text.reserve(target + 128);
    static constexpr std::string_view kWords[] = {
        "the",    "figures", "for",     "March", "were",   "revised", "again", "and",
        "totals", "differ",  "from",    "last",  "report", "please",  "check", "sheet",
        "budget", "travel",  "account", "north", "region", "review",  "notes", "of"};
    std::uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return seed >> 16;
    };
    for (std::size_t line = 0; text.size() < target; ++line) {
      std::size_t width = 60 + next() % 17;
      std::size_t start = text.size();
      if (line % 40 == 7) text += ". ";
      while (text.size() - start < width) {
        text += kWords[next() % std::size(kWords)];
        text += ' ';
      }
      text.resize(start + width);
      text += "\r\n";
    }
    return text;
  }();
  return message;
}

// The reply the scripted server gives to RETR 1 of LargeMessage().
std::size_t RetrReplyBytes() {
  static const std::size_t bytes =
      ("+OK " + std::to_string(LargeMessage().size()) + " octets\r\n").size() +
      test::DotStuffedBody(LargeMessage()).size();
  return bytes;
}

// A blocking POP3 client on a plain socket, with send and receive timeouts
// so that no call can hang the run.
class BenchClient {
 public:
  explicit BenchClient(std::uint16_t port) : socket_(test::ConnectToLoopback(port)) {
    if (!socket_.Valid()) return;
    timeval timeout{5, 0};
    setsockopt(socket_.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(socket_.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  }

  bool Connected() const { return socket_.Valid(); }

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // One reply line with its CR LF; "" on timeout or close.
  std::string ReadLine(Clock::time_point deadline) {
    std::size_t scanned = 0;
    while (Clock::now() < deadline) {
      std::size_t end = pending_.find("\r\n", scanned);
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end + 2);
        pending_.erase(0, end + 2);
        return line;
      }
      scanned = pending_.empty() ? 0 : pending_.size() - 1;
      char chunk[4096];
      ssize_t received = ::recv(socket_.Get(), chunk, sizeof chunk, 0);
      if (received <= 0) return "";
      pending_.append(chunk, static_cast<std::size_t>(received));
    }
    return "";
  }

  std::string Command(std::string_view line, Clock::time_point deadline) {
    if (!Send(std::string(line) + "\r\n")) return "";
    return ReadLine(deadline);
  }

  // Reads a multi-line reply without keeping it, at most `rate` bytes a
  // second when `rate` is not 0. Nothing follows the
  // terminator and dot-stuffing keeps CR LF "." CR LF out of the body, so
  // the reply is complete exactly when the bytes so far end with it; only
  // the last five bytes are carried from one chunk to the next.
  struct Drained {
    std::size_t Bytes = 0;
    Clock::time_point FirstByte;
    bool Complete = false;
  };
  Drained DrainMultiLine(Clock::time_point deadline, double rate = 0) {
    static constexpr std::string_view kEnd = "\r\n.\r\n";
    Drained result;
    std::string tail;
    auto take = [&](const char* bytes, std::size_t count) {
      if (result.Bytes == 0) result.FirstByte = Clock::now();
      result.Bytes += count;
      if (count >= kEnd.size()) {
        tail.assign(bytes + count - kEnd.size(), kEnd.size());
      } else {
        tail.append(bytes, count);
        if (tail.size() > kEnd.size()) tail.erase(0, tail.size() - kEnd.size());
      }
      result.Complete = tail == kEnd;
    };
    if (!pending_.empty()) {
      take(pending_.data(), pending_.size());
      pending_.clear();
    }
    buffer_.resize(rate > 0 ? 64 * 1024 : kReadChunk);
    Clock::time_point started = Clock::now();
    while (!result.Complete && Clock::now() < deadline) {
      if (rate > 0) {
        auto due = started + std::chrono::duration_cast<Clock::duration>(
                                 Seconds(static_cast<double>(result.Bytes) / rate));
        std::this_thread::sleep_until(due);
      }
      ssize_t received = ::recv(socket_.Get(), buffer_.data(), buffer_.size(), 0);
      if (received <= 0) break;
      take(buffer_.data(), static_cast<std::size_t>(received));
    }
    return result;
  }

 private:
  test::UniqueFd socket_;
  std::string pending_;
  std::vector<char> buffer_;
};

// What one session measured; Failure says why it did not count.
struct Timed {
  double Seconds = 0;
  double TransferSeconds = 0;
  std::size_t Bytes = 0;
  std::string Failure;
};

using TimedWork = std::function<Timed(BenchClient&, Clock::time_point deadline)>;

// Greeting, USER and PASS, the timed work, QUIT.
Timed RunClient(std::uint16_t port, const std::string& user, const TimedWork& work) {
  Clock::time_point deadline = Clock::now() + kSessionTimeout;
  BenchClient client(port);
  if (!client.Connected()) return {.Failure = "cannot connect"};
  if (!client.ReadLine(deadline).starts_with("+OK")) return {.Failure = "no greeting"};
  if (!client.Command("USER " + user, deadline).starts_with("+OK"))
    return {.Failure = "USER refused"};
  if (!client.Command("PASS secret", deadline).starts_with("+OK"))
    return {.Failure = "PASS refused"};
  Timed timed = work(client, deadline);
  if (timed.Failure.empty() && !client.Command("QUIT", deadline).starts_with("+OK"))
    timed.Failure = "QUIT refused";
  return timed;
}

Timed Retrieve(BenchClient& client, Clock::time_point deadline) {
  Clock::time_point started = Clock::now();
  if (!client.Send("RETR 1\r\n")) return {.Failure = "cannot send RETR"};
  BenchClient::Drained drained = client.DrainMultiLine(deadline);
  Clock::time_point finished = Clock::now();
  if (!drained.Complete) return {.Failure = "RETR reply incomplete"};
  if (drained.Bytes != RetrReplyBytes()) return {.Failure = "RETR reply has the wrong length"};
  return {Seconds(finished - started).count(), Seconds(finished - drained.FirstByte).count(),
          drained.Bytes, ""};
}

Timed Noops(BenchClient& client, Clock::time_point deadline) {
  Clock::time_point started = Clock::now();
  for (std::size_t i = 0; i < NoopCount(); ++i) {
    if (client.Command("NOOP", deadline) != "+OK\r\n") return {.Failure = "NOOP failed"};
  }
  double seconds = Seconds(Clock::now() - started).count();
  return {seconds, seconds, NoopCount(), ""};
}

// The scripted server, straight.
Timed Direct(test::ScriptedPop3Server& server, const TimedWork& work) {
  Timed timed;
  std::thread client([&] { timed = RunClient(server.Port(), "alice", work); });
  client.join();
  return timed;
}

// Through the plain C relay: it serves one session on a thread of its own.
Timed ThroughPlainRelay(test::ScriptedPop3Server& server, const TimedWork& work) {
  test::UniqueFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.Get(), 1) != 0 ||
      getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return {.Failure = "cannot listen for the relay"};
  std::thread relay([&] { plain_relay_once(listener.Get(), server.Port()); });
  Timed timed;
  std::thread client([&] { timed = RunClient(ntohs(address.sin_port), "alice", work); });
  client.join();
  relay.join();
  return timed;
}

std::uint16_t GatewayPort(TMailGateway& gateway) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(gateway.ListenSocket().HSocket(), reinterpret_cast<sockaddr*>(&bound), &length);
  return ntohs(bound.sin_port);
}

// Through the gateway: the client on its thread, the loop on this one until
// the client is done and the gateway has freed the session.
Timed ThroughGateway(TMailGateway& gateway, test::ScriptedPop3Server& server, const TimedWork& work,
                     const std::function<void()>& eachTurn = {}) {
  auto& loop = MessageLoop::Instance();
  std::string user = "alice#127.0.0.1:" + std::to_string(server.Port());
  std::uint16_t port = GatewayPort(gateway);
  Timed timed;
  std::atomic<bool> done = false;
  std::thread client([&] {
    timed = RunClient(port, user, work);
    done = true;
  });
  Clock::time_point deadline = Clock::now() + kSessionTimeout + std::chrono::seconds(5);
  while (!done && Clock::now() < deadline) {
    loop.WaitAndDispatch(std::chrono::milliseconds(10));
    if (eachTurn) eachTurn();
  }
  client.join();
  Clock::time_point cleanup = Clock::now() + std::chrono::seconds(3);
  while (gateway.ListenSocket().ClientCount() > 0 && Clock::now() < cleanup)
    loop.WaitAndDispatch(std::chrono::milliseconds(10));
  return timed;
}

void Configure(TMailGateway& gateway) {
  gateway.Addr = "127.0.0.1";
  gateway.Port = "0";
  test::AttachRelayHandler(gateway);
}

// Runs `session` per iteration and records the rates of what it measured.
void Measure(benchmark::State& state, const std::function<Timed()>& session, const char* name,
             const char* transferName) {
  double seconds = 0;
  double transferSeconds = 0;
  std::size_t units = 0;
  for (auto _ : state) {
    Timed timed = session();
    if (!timed.Failure.empty()) {
      state.SkipWithError(timed.Failure.c_str());
      return;
    }
    state.SetIterationTime(timed.Seconds);
    seconds += timed.Seconds;
    transferSeconds += timed.TransferSeconds;
    units += timed.Bytes;
  }
  if (transferName) {
    state.SetBytesProcessed(static_cast<std::int64_t>(units));
    qb::bench::Record(name, static_cast<double>(units) / seconds / 1e6);
    qb::bench::Record(transferName, static_cast<double>(units) / transferSeconds / 1e6);
    state.counters["first_byte_to_end_MB/s"] = static_cast<double>(units) / transferSeconds / 1e6;
  } else {
    state.SetItemsProcessed(static_cast<std::int64_t>(units));
    qb::bench::Record(name, static_cast<double>(units) / seconds);
  }
}

void BM_RetrDirect(benchmark::State& state) {
  RetrReplyBytes();  // worked out here, not on a client thread after its first RETR
  test::ScriptedPop3Server server({LargeMessage()});
  Measure(
      state, [&] { return Direct(server, Retrieve); }, kRetrDirect, kTransferDirect);
}

void BM_RetrThroughGateway(benchmark::State& state) {
  RetrReplyBytes();
  test::ScriptedPop3Server server({LargeMessage()});
  TMailGateway gateway;
  Configure(gateway);
  if (std::string error = gateway.Open(); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  Measure(
      state, [&] { return ThroughGateway(gateway, server, Retrieve); }, kRetrGateway,
      kTransferGateway);
}

void BM_RetrThroughPlainRelay(benchmark::State& state) {
  RetrReplyBytes();
  test::ScriptedPop3Server server({LargeMessage()});
  Measure(
      state, [&] { return ThroughPlainRelay(server, Retrieve); }, kRetrRelay, kTransferRelay);
}

void BM_NoopDirect(benchmark::State& state) {
  test::ScriptedPop3Server server({"Subject: small\r\n\r\nbody\r\n"});
  Measure(
      state, [&] { return Direct(server, Noops); }, kNoopDirect, nullptr);
}

void BM_NoopThroughGateway(benchmark::State& state) {
  test::ScriptedPop3Server server({"Subject: small\r\n\r\nbody\r\n"});
  TMailGateway gateway;
  Configure(gateway);
  if (std::string error = gateway.Open(); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  Measure(
      state, [&] { return ThroughGateway(gateway, server, Noops); }, kNoopGateway, nullptr);
}

void BM_NoopThroughPlainRelay(benchmark::State& state) {
  test::ScriptedPop3Server server({"Subject: small\r\n\r\nbody\r\n"});
  Measure(
      state, [&] { return ThroughPlainRelay(server, Noops); }, kNoopRelay, nullptr);
}

// A RETR of QB_GWBENCH_SLOW_MB to a client reading QB_GWBENCH_SLOW_RATE MB/s;
// argument 1: the session's queue bound as the program sets it, 0: lifted.
void BM_SlowClientQueuePeak(benchmark::State& state) {
  const bool bounded = state.range(0) == 1;
  const double rate = static_cast<double>(SizeFromEnvironment("QB_GWBENCH_SLOW_RATE", 10)) * 1e6;
  std::string message =
      LargeMessage().substr(0, SizeFromEnvironment("QB_GWBENCH_SLOW_MB", 50) << 20);
  if (message.size() < (SizeFromEnvironment("QB_GWBENCH_SLOW_MB", 50) << 20)) {
    state.SkipWithError("QB_GWBENCH_SLOW_MB is larger than QB_GWBENCH_MESSAGE_MB");
    return;
  }
  const std::size_t replyBytes = ("+OK " + std::to_string(message.size()) + " octets\r\n").size() +
                                 test::DotStuffedBody(message).size();
  test::ScriptedPop3Server server({message});
  TMailGateway gateway;
  Configure(gateway);
  if (std::string error = gateway.Open(); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::size_t peak = 0;
  auto sample = [&] {
    for (int i = 0; i < gateway.ListenSocket().ClientCount(); ++i) {
      auto* session = static_cast<TMailGWClient*>(gateway.ListenSocket().Clients(i));
      if (!bounded && session->ServerSocket) session->SendQueueBound = SIZE_MAX;
      peak = std::max(peak, session->QueuedCount());
    }
  };
  auto slowRetrieve = [&](BenchClient& client, Clock::time_point deadline) -> Timed {
    if (!client.Send("RETR 1\r\n")) return {.Failure = "cannot send RETR"};
    BenchClient::Drained drained = client.DrainMultiLine(deadline + std::chrono::seconds(60), rate);
    if (!drained.Complete || drained.Bytes != replyBytes)
      return {.Failure = "RETR reply incomplete"};
    return {1, 1, drained.Bytes, ""};
  };
  for (auto _ : state) {
    Timed timed = ThroughGateway(gateway, server, slowRetrieve, sample);
    if (!timed.Failure.empty()) {
      state.SkipWithError(timed.Failure.c_str());
      return;
    }
  }
  state.counters["peak_queued_MB"] = static_cast<double>(peak) / 1e6;
  std::printf("slow client, queue bound %s: at most %.1f MB queued for a %.0f MB reply\n",
              bounded ? "on" : "lifted", static_cast<double>(peak) / 1e6,
              static_cast<double>(replyBytes) / 1e6);
}

// The scripted server's own share of every RETR: building the dot-stuffed
// reply before its first byte goes out. Not a gateway cost; it shows how
// much of "RETR direct" is the server.
void BM_ScriptedServerBuildsRetrReply(benchmark::State& state) {
  const std::string& message = LargeMessage();
  for (auto _ : state) {
    Clock::time_point started = Clock::now();
    std::string reply =
        "+OK " + std::to_string(message.size()) + " octets\r\n" + test::DotStuffedBody(message);
    benchmark::DoNotOptimize(reply.data());
    state.SetIterationTime(Seconds(Clock::now() - started).count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * RetrReplyBytes()));
}

BENCHMARK(BM_ScriptedServerBuildsRetrReply)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetrDirect)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetrThroughPlainRelay)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetrThroughGateway)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoopDirect)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoopThroughPlainRelay)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoopThroughGateway)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlowClientQueuePeak)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  return qb::bench::RunAndCompare(argc, argv,
                                  {{kRetrGateway, kRetrDirect},
                                   {kRetrRelay, kRetrDirect},
                                   {kRetrGateway, kRetrRelay},
                                   {kTransferGateway, kTransferDirect},
                                   {kTransferRelay, kTransferDirect},
                                   {kNoopGateway, kNoopDirect},
                                   {kNoopRelay, kNoopDirect}},
                                  "per second");
}
