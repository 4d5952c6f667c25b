// What the mailbox scan costs a mail check, measured on a TForm1 whose
// gateway runs on the main thread's message loop, as in the program, with a
// scripted POP3 server behind it and a mail client on a thread of its own.
//
// 1. Scan of 1,000 and of 10,000 new messages: from the client's LIST to the
//    moment the review list is ready (Button1 enabled), against the floor: a
//    bare blocking client on the same server sending LIST, UIDL and the same
//    TOP n k commands one after another. A third run sends all the TOP
//    commands at once (pipelined) and shows what the scripted server can
//    answer when nobody waits for a round trip; together with the CPU time
//    of the server's threads it tells whether the server is the bottleneck.
//    A fourth asks TOP n 0, the header alone, against the floor's TOP n k:
//    the time and the bytes per message (top_bytes/msg) the body lines cost.
//    The main thread's user and system microseconds per message show where
//    its own time goes.
// 2. A 1 MiB LIST reply trickled by the server over about 10 seconds: the
//    main thread's CPU seconds against the wall seconds, its receive calls
//    and blocking waits against the pieces sent, and the longest single turn
//    of the loop (the scan reads a listing inside its handler).
// 3. Peak memory of each scan (VmHWM, reset through /proc/self/clear_refs
//    before each benchmark when the kernel allows it), and the live heap
//    when the review list is ready, less the heap before LIST (the server's
//    session has copied the mailbox at login, before that). The
//    10,000-message scan is registered first, so that in a fresh process its
//    peak is its own even without the reset; run it alone with
//      --benchmark_filter='ScanThroughForm/10000/'
//    and the floor alone (its peak growth is the scripted server's share)
//    with --benchmark_filter='ScanFloor/sequential/10000/'.
//
// The headers are small and realistic: two Received lines, From with a
// display name, To, Subject with an encoded word, Date, Message-ID; the
// bodies are 32 lines of text, or for one message in four a short text part
// and a 30 kB attachment, so that the body lines the scan's TOP asks for
// cost what they cost on real mail. The
// block lists hold a DNS block-list zone, so every Received line is looked
// up; the resolver answers "not listed" at once and counts the look-ups.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "BenchRatio.h"
#include "app/RecordingWindow.h"
#include "app/Unit1.h"
#include "platform/MessageLoop.h"
#include "platform/SocketLibrary.h"
#include "screening/Decisions.h"
#include "screening/TopReply.h"
#include "support/LoopbackSockets.h"
#include "support/PlainPop3Client.h"
#include "support/PumpUntil.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"

namespace {

using namespace qb;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr auto kScanTimeout = 120s;
constexpr std::size_t kTrickleReplyBytes = 1u << 20;
constexpr std::size_t kTricklePieces = 1000;
constexpr auto kTricklePause = 10ms;

std::string ThroughName(std::size_t count) {
  return "scan of " + std::to_string(count) + " through TForm1, msg/s";
}
std::string FloorName(std::size_t count) {
  return "floor " + std::to_string(count) + ": LIST+UIDL+TOP, msg/s";
}
std::string HeaderOnlyName(std::size_t count) {
  return "floor " + std::to_string(count) + " with TOP n 0, msg/s";
}
std::string PipelinedName(std::size_t count) {
  return "server alone " + std::to_string(count) + ": pipelined TOP, msg/s";
}

// ---- measuring ------------------------------------------------------------------

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
double ThreadCpu() {
  return CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}
double ProcessCpu() {
  return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

// A "Vm...:" figure of /proc/self/status in MiB; 0 when missing.
double StatusMiB(std::string_view key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(key)) return std::stod(line.substr(key.size() + 1)) / 1024.0;
  }
  return 0;
}

// Starts a new VmHWM period at the current resident size (Linux 4.0 on).
bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

// The user and system seconds of the calling thread.
struct ThreadTimes {
  double User = 0;
  double System = 0;
};
ThreadTimes ThreadUsage() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

// The bytes malloc has handed out and not yet got back, over all arenas.
double HeapInUseMiB() {
  struct mallinfo2 heap = mallinfo2();
  return static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
}

double MaxRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The program's socket calls go through its function table: this one counts
// the receives (ReceiveString asks FIONREAD first, then receives).
std::atomic<long> receiveCalls = 0;

SocketFunctionTable CountingSocketFunctions() {
  SocketFunctionTable table = winsock::SystemSocketFunctions();
  table.recv = [](int fd, void* buffer, size_t length, int flags) -> ssize_t {
    ++receiveCalls;
    return ::recv(fd, buffer, length, flags);
  };
  return table;
}

// Voluntary context switches of the calling thread: each wait that blocks is one.
long WaitsOfThisThread() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

// ---- the mailbox ----------------------------------------------------------------

std::string TwoDigits(std::size_t value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

// A plain text body of so many lines.
std::string PlainBody(std::size_t lines) {
  std::string text = "\r\nHello Alice,\r\n";
  for (std::size_t i = 0; i < lines; ++i) {
    text +=
        "the figures of line " + std::to_string(i) + " are in the sheet; see you on Thursday.\r\n";
  }
  return text;
}

// A multipart body: a short text part and a 30 kB base64 attachment.
std::string WithAttachment(std::size_t n) {
  std::string text = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"=_b" +
                     std::to_string(n) +
                     "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n";
  text += "--=_b" + std::to_string(n) + "\r\nContent-Type: text/plain; charset=utf-8\r\n";
  text += PlainBody(8);
  text += "--=_b" + std::to_string(n) + "\r\nContent-Type: application/pdf; name=\"sheet.pdf\"\r\n";
  text += "Content-Transfer-Encoding: base64\r\n";
  text += "Content-Disposition: attachment; filename=\"sheet.pdf\"\r\n\r\n";
  for (int i = 0; i < 400; ++i) text += std::string(76, static_cast<char>('A' + i % 26)) + "\r\n";
  return text + "--=_b" + std::to_string(n) + "--\r\n";
}

// A header as mail servers store it, different for each n, and a body: three
// in four plain text of 32 lines, one in four a text and a 30 kB attachment.
std::string RealisticMessage(std::size_t n) {
  static constexpr std::string_view kNames[] = {"Bob Example", "Carol Jones", "Dave O'Neill",
                                                "Erin Smith", "Frank Meyer"};
  static constexpr std::string_view kUsers[] = {"bob", "carol", "dave", "erin", "frank"};
  std::string number = std::to_string(n);
  std::string date = "Tue, 4 Mar 2025 " + TwoDigits(n / 60 % 24) + ":" + TwoDigits(n % 60) + ":" +
                     TwoDigits(n * 7 % 60) + " +0100";
  std::string mx = "192.0.2." + std::to_string(n % 250 + 1);
  std::string sender = "198.51.100." + std::to_string(n % 200 + 7);
  std::string subject = n % 2 == 0 ? "=?UTF-8?Q?R=C3=A9union_du_comit=C3=A9_n=C2=B0" + number + "?="
                                   : "=?UTF-8?B?Q2Fmw6kgYXUgbGFpdCwgY29tbWFuZGU=?= " + number;
  std::size_t who = n % std::size(kNames);
  std::string text;
  text += "Received: from mx" + std::to_string(n % 9) + ".example.org (mx.example.org [" + mx;
  text += "])\r\n\tby pop.example.net (Postfix) with ESMTPS id 4F2A" + number;
  text += "\r\n\tfor <alice@example.net>; " + date + "\r\n";
  text += "Received: from [" + sender + "] (client.example.com [" + sender + "])\r\n";
  text += "        by mx.example.org with ESMTPSA id 7C" + number + "; " + date + "\r\n";
  text += "From: \"" + std::string(kNames[who]) + "\" <" + std::string(kUsers[who]);
  text += std::to_string(n % 97) + "@example.org>\r\n";
  text += "To: Alice <alice@example.net>\r\n";
  text += "Subject: " + subject + "\r\n";
  text += "Date: " + date + "\r\n";
  text += "Message-ID: <20250304." + number + ".4F2A@example.org>\r\n";
  return text + (n % 4 == 0 ? WithAttachment(n) : PlainBody(30));
}

std::vector<std::string> RealisticMailbox(std::size_t count) {
  std::vector<std::string> messages;
  messages.reserve(count);
  for (std::size_t n = 1; n <= count; ++n) messages.push_back(RealisticMessage(n));
  return messages;
}

// Answers every block-list look-up with "not listed" at once, but for the
// zone's own test entry, so the zone passes its check; counts the lookups
// (from the resolver pool's threads).
class CountingResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string& name) override {
    ++lookups;
    if (name.starts_with("2.0.0.127.")) return {{127, 0, 0, 2}};
    return {};
  }
  std::atomic<std::size_t> lookups = 0;
};

// ---- a bare blocking client ------------------------------------------------------------

// The floor asks each message as the scan does (TOP n k), or for its header
// alone (TOP n 0), which shows what the body lines cost.
std::string TopCommand(std::size_t n, int bodyLines) {
  return "TOP " + std::to_string(n) + " " + std::to_string(bodyLines);
}

class BareClient {
 public:
  explicit BareClient(std::uint16_t port) : socket_(test::ConnectToLoopback(port)) {
    if (!socket_.Valid()) return;
    timeval timeout{10, 0};
    setsockopt(socket_.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(socket_.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  }

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // One reply: its status line and, for a multi-line "+OK", the body to the
  // terminator. nullopt on timeout or close. Replies read ahead (pipelined)
  // stay in the buffer after `start_`; it is compacted only before a receive.
  std::optional<std::string> Read(bool multiLine) {
    std::size_t searched = start_;
    for (;;) {
      std::size_t statusEnd = pending_.find("\r\n", start_);
      if (statusEnd != std::string::npos) {
        std::size_t end = statusEnd + 2;
        if (multiLine && pending_.compare(start_, 3, "+OK") == 0) {
          std::size_t found = pending_.find("\r\n.\r\n", std::max(searched, statusEnd));
          end = found == std::string::npos ? std::string::npos : found + 5;
          if (found == std::string::npos) searched = std::max(start_, pending_.size() - 4);
        }
        if (end != std::string::npos) {
          std::string reply = pending_.substr(start_, end - start_);
          start_ = end;
          return reply;
        }
      }
      searched -= start_;
      pending_.erase(0, start_);
      start_ = 0;
      char chunk[64 * 1024];
      ssize_t received = ::recv(socket_.Get(), chunk, sizeof chunk, 0);
      if (received <= 0) return std::nullopt;
      pending_.append(chunk, static_cast<std::size_t>(received));
    }
  }

  std::optional<std::string> Command(std::string_view line, bool multiLine) {
    if (!Send(std::string(line) + "\r\n")) return std::nullopt;
    return Read(multiLine);
  }

  bool LogIn() {
    std::optional<std::string> greeting = Read(false);
    return greeting && greeting->starts_with("+OK") &&
           Command("USER alice", false).value_or("").starts_with("+OK") &&
           Command("PASS secret", false).value_or("").starts_with("+OK");
  }

 private:
  test::UniqueFd socket_;
  std::string pending_;
  std::size_t start_ = 0;
};

// ---- one scan through the main window's gateway ---------------------------------------

struct ScanRun {
  double ScanSeconds = 0;      // client's LIST to review list ready
  double ReleaseSeconds = 0;   // Button1Click to the client holding its LIST reply
  double MainCpuSeconds = 0;   // main thread during the scan
  double OtherCpuSeconds = 0;  // every other thread (the server's above all) during the scan
  ThreadTimes Main;            // the main thread's share split into user and system
  double HeapGrowthMiB = 0;    // live heap when the review list is ready, less before LIST
  std::string Failure;
};

struct ScreenedForm {
  ScreenedForm() {
    form.State.ProgramFolder = folder.Path().string() + "/";
    form.State.DnsblList = {"bl.spamcop.net"};
    form.State.VirusList = {"ILOVEYOU", "Important Message From", "Here you have, ;o)"};
    form.State.SenderList = {"spammer@example.com", "offers@example.biz"};
    form.State.SubjectList = {"Cheap watches", "You have won"};
    form.MailGateway1.Port = "0";
    error = form.MailGateway1.Open();
  }
  ~ScreenedForm() {
    form.MailGateway1.Close();
    MessageLoop::Instance().ProcessMessages();
  }
  std::uint16_t Port() {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(form.MailGateway1.ListenSocket().HSocket(), reinterpret_cast<sockaddr*>(&bound),
                &length);
    return ntohs(bound.sin_port);
  }
  // Turns the loop until the gateway has freed its sessions.
  void WaitForSessionsFreed() {
    test::PumpUntil([this] { return form.MailGateway1.ListenSocket().ClientCount() == 0; }, 3s);
  }

  test::TempFolder folder{"qb-scanbench"};
  test::RecordingPopup popup;
  test::RecordingTray tray;
  CountingResolver resolver;
  TForm1 form{popup, tray, resolver};
  std::string error;
};

std::string AccountFor(const test::ScriptedPop3Server& server) {
  return "alice#127.0.0.1:" + std::to_string(server.Port());
}

// Every scan starts afresh: the decisions that "Remove Checked" recorded at
// the run before (keep, by UID) and the marker would leave nothing to scan.
void ForgetEarlierScans(const test::TempFolder& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path(), error)) {
    std::filesystem::remove_all(entry.path(), error);
  }
}

ScanRun ScanThroughForm(ScreenedForm& screened, test::ScriptedPop3Server& server,
                        std::size_t count) {
  TForm1& form = screened.form;
  ForgetEarlierScans(screened.folder);
  std::atomic<bool> loggedIn = false, go = false, done = false;
  std::atomic<Clock::rep> listSent = 0, listArrived = 0;
  std::string failure;
  std::thread client([&] {
    test::PlainPop3Client pop(screened.Port());
    bool ok = pop.ReadLine().has_value() &&
              pop.Command("USER " + AccountFor(server)).starts_with("+OK") &&
              pop.Command("PASS secret").starts_with("+OK");
    loggedIn = true;
    Clock::time_point waitUntil = Clock::now() + 10s;
    while (ok && !go && Clock::now() < waitUntil) std::this_thread::sleep_for(1ms);
    if (!ok) {
      failure = "login through the gateway failed";
    } else {
      listSent = Clock::now().time_since_epoch().count();
      std::optional<std::string> list = pop.MultiLineCommand("LIST", kScanTimeout);
      listArrived = Clock::now().time_since_epoch().count();
      if (!list || !list->starts_with("+OK")) failure = "no LIST reply";
      pop.Command("QUIT");
    }
    done = true;
  });
  ScanRun run;
  test::PumpUntil([&] { return loggedIn.load(); }, 10s);
  double main0 = ThreadCpu(), process0 = ProcessCpu();
  ThreadTimes usage0 = ThreadUsage();
  double heap0 = HeapInUseMiB();
  go = true;
  bool ready = test::PumpUntil([&] { return form.Controls.Button1Enabled || done; }, kScanTimeout);
  Clock::time_point scanned = Clock::now();
  double main1 = ThreadCpu(), process1 = ProcessCpu();
  ThreadTimes usage1 = ThreadUsage();
  run.HeapGrowthMiB = HeapInUseMiB() - heap0;
  run.Main = {usage1.User - usage0.User, usage1.System - usage0.System};
  if (!ready || !form.Controls.Button1Enabled) {
    run.Failure = done ? std::string("the LIST was answered without a review")
                       : "the scan did not complete" + (failure.empty() ? "" : ": " + failure);
  } else if (form.ReviewListView1.Count() != count) {
    run.Failure = "the review list has " + std::to_string(form.ReviewListView1.Count()) +
                  " rows, not " + std::to_string(count);
  } else if (form.ReviewListView1[0].Subject.find("=?") != std::string::npos) {
    run.Failure = "a subject was not decoded";
  }
  Clock::time_point released = Clock::now();
  form.Button1Click();
  test::PumpUntil([&] { return done.load(); }, kScanTimeout);
  client.join();
  screened.WaitForSessionsFreed();
  if (run.Failure.empty()) run.Failure = failure;
  Clock::time_point sent{Clock::duration(listSent.load())};
  Clock::time_point arrived{Clock::duration(listArrived.load())};
  run.ScanSeconds = Seconds(scanned - sent).count();
  run.ReleaseSeconds = Seconds(arrived - released).count();
  run.MainCpuSeconds = main1 - main0;
  run.OtherCpuSeconds = (process1 - process0) - (main1 - main0);
  return run;
}

// ---- the floor: the same commands from a bare client --------------------------------

struct FloorRun {
  double Seconds = 0;
  double ClientCpuSeconds = 0;
  double OtherCpuSeconds = 0;
  double HeapGrowthMiB = 0;  // live heap after the last TOP, less before LIST
  double TopBytes = 0;       // the TOP replies' bytes (sequential only)
  std::string Failure;
};

FloorRun BareScan(test::ScriptedPop3Server& server, std::size_t count, bool pipelined,
                  int bodyLines) {
  BareClient client(server.Port());
  if (!client.LogIn()) return {.Failure = "bare login failed"};
  Clock::time_point started = Clock::now();
  double client0 = ThreadCpu(), process0 = ProcessCpu();
  double heap0 = HeapInUseMiB();
  FloorRun run;
  if (!pipelined) {
    if (!client.Command("LIST", true).value_or("").starts_with("+OK")) run.Failure = "LIST failed";
    if (!client.Command("UIDL", true).value_or("").starts_with("+OK")) run.Failure = "UIDL failed";
    for (std::size_t n = 1; n <= count && run.Failure.empty(); ++n) {
      std::string top = client.Command(TopCommand(n, bodyLines), true).value_or("");
      if (!top.starts_with("+OK")) run.Failure = "TOP failed";
      run.TopBytes += static_cast<double>(top.size());
    }
  } else {
    std::string commands;
    for (std::size_t n = 1; n <= count; ++n) commands += TopCommand(n, bodyLines) + "\r\n";
    std::thread sender([&] { client.Send(commands); });
    for (std::size_t n = 1; n <= count && run.Failure.empty(); ++n) {
      if (!client.Read(true).value_or("").starts_with("+OK")) run.Failure = "pipelined TOP failed";
    }
    sender.join();
  }
  run.Seconds = Seconds(Clock::now() - started).count();
  run.HeapGrowthMiB = HeapInUseMiB() - heap0;
  double client1 = ThreadCpu(), process1 = ProcessCpu();
  run.ClientCpuSeconds = client1 - client0;
  run.OtherCpuSeconds = (process1 - process0) - (client1 - client0);
  if (run.Failure.empty() && !client.Command("QUIT", false).value_or("").starts_with("+OK"))
    run.Failure = "QUIT failed";
  return run;
}

// ---- the benchmarks ------------------------------------------------------------------------

void PeakCounters(benchmark::State& state, bool reset, double rssBefore) {
  state.counters["rss_before_MiB"] = rssBefore;
  state.counters["peak_MiB"] = StatusMiB("VmHWM:");
  state.counters["peak_growth_MiB"] = StatusMiB("VmHWM:") - rssBefore;
  state.counters["maxrss_MiB"] = MaxRssMiB();
  state.counters["peak_reset"] = reset ? 1 : 0;
}

void BM_ScanThroughForm(benchmark::State& state) {
  auto count = static_cast<std::size_t>(state.range(0));
  test::ScriptedPop3Server server(RealisticMailbox(count));
  ScreenedForm screened;
  if (!screened.error.empty()) {
    state.SkipWithError(screened.error.c_str());
    return;
  }
  bool reset = ResetPeakMemory();
  double rssBefore = StatusMiB("VmRSS:");
  double seconds = 0, release = 0, mainCpu = 0, otherCpu = 0, mainUser = 0, mainSystem = 0;
  double heapGrowth = 0;
  for (auto _ : state) {
    ScanRun run = ScanThroughForm(screened, server, count);
    if (!run.Failure.empty()) {
      state.SkipWithError(run.Failure.c_str());
      return;
    }
    state.SetIterationTime(run.ScanSeconds);
    seconds += run.ScanSeconds;
    release += run.ReleaseSeconds;
    mainCpu += run.MainCpuSeconds;
    otherCpu += run.OtherCpuSeconds;
    mainUser += run.Main.User;
    mainSystem += run.Main.System;
    heapGrowth = std::max(heapGrowth, run.HeapGrowthMiB);
  }
  PeakCounters(state, reset, rssBefore);
  auto iterations = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(count * state.iterations()));
  double messages = iterations * static_cast<double>(count);
  state.counters["main_cpu/wall"] = mainCpu / seconds;
  state.counters["main_user_us/msg"] = mainUser / messages * 1e6;
  state.counters["main_sys_us/msg"] = mainSystem / messages * 1e6;
  state.counters["heap_at_ready_MiB"] = heapGrowth;
  state.counters["server_cpu/wall"] = otherCpu / seconds;
  state.counters["release_ms"] = release / iterations * 1e3;
  state.counters["lookups/msg"] =
      static_cast<double>(screened.resolver.lookups) / (iterations * static_cast<double>(count));
  bench::Record(ThroughName(count), static_cast<double>(count) * iterations / seconds);
}

void BM_ScanFloor(benchmark::State& state, bool pipelined, int bodyLines) {
  auto count = static_cast<std::size_t>(state.range(0));
  test::ScriptedPop3Server server(RealisticMailbox(count));
  bool reset = ResetPeakMemory();
  double rssBefore = StatusMiB("VmRSS:");
  double seconds = 0, clientCpu = 0, otherCpu = 0, heapGrowth = 0, topBytes = 0;
  for (auto _ : state) {
    FloorRun run = BareScan(server, count, pipelined, bodyLines);
    if (!run.Failure.empty()) {
      state.SkipWithError(run.Failure.c_str());
      return;
    }
    state.SetIterationTime(run.Seconds);
    seconds += run.Seconds;
    clientCpu += run.ClientCpuSeconds;
    otherCpu += run.OtherCpuSeconds;
    heapGrowth = std::max(heapGrowth, run.HeapGrowthMiB);
    topBytes += run.TopBytes;
  }
  PeakCounters(state, reset, rssBefore);
  auto iterations = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<std::int64_t>(count * state.iterations()));
  state.counters["top_bytes/msg"] = topBytes / (iterations * static_cast<double>(count));
  state.counters["client_cpu/wall"] = clientCpu / seconds;
  state.counters["heap_at_end_MiB"] = heapGrowth;
  state.counters["server_cpu/wall"] = otherCpu / seconds;
  bench::Record(pipelined        ? PipelinedName(count)
                : bodyLines == 0 ? HeaderOnlyName(count)
                                 : FloorName(count),
                static_cast<double>(count) * iterations / seconds);
}

// The number of tiny messages whose LIST reply lines add up to `bytes`.
std::size_t MessagesForListOf(std::size_t bytes, std::size_t messageSize) {
  std::size_t total = 0, count = 0;
  while (total < bytes) {
    ++count;
    total += std::to_string(count).size() + 1 + std::to_string(messageSize).size() + 2;
  }
  return count;
}

// The server trickles the LIST reply; UIDL is refused, so the run ends right
// after the listing has been read and the client gets that "-ERR" for its LIST.
void BM_TrickledList(benchmark::State& state) {
  const std::string tiny = "Subject: t\r\n\r\nx\r\n";
  std::size_t count = MessagesForListOf(kTrickleReplyBytes, tiny.size());
  test::ScriptedPop3Server server(std::vector<std::string>(count, tiny));
  std::size_t replyBytes = 0;
  {
    BareClient probe(server.Port());
    if (!probe.LogIn()) {
      state.SkipWithError("probe login failed");
      return;
    }
    replyBytes = probe.Command("LIST", true).value_or("").size();
    probe.Command("QUIT", false);
  }
  std::size_t piece = (replyBytes + kTricklePieces - 1) / kTricklePieces;
  server.SetTrickle(piece, kTricklePause);
  server.FailCommand("UIDL", "-ERR UIDL is not served in this run");
  SocketFunctionTable counting = CountingSocketFunctions();
  winsock::InstallSocketFunctions(&counting);
  struct Restore {
    ~Restore() { winsock::InstallSocketFunctions(nullptr); }
  } restore;
  ScreenedForm screened;
  if (!screened.error.empty()) {
    state.SkipWithError(screened.error.c_str());
    return;
  }
  MessageLoop& loop = MessageLoop::Instance();
  for (auto _ : state) {
    std::atomic<bool> loggedIn = false, go = false, listed = false, quit = false, done = false;
    std::string listReply;
    std::thread client([&] {
      test::PlainPop3Client pop(screened.Port());
      bool ok = pop.ReadLine().has_value() &&
                pop.Command("USER " + AccountFor(server)).starts_with("+OK") &&
                pop.Command("PASS secret").starts_with("+OK");
      loggedIn = true;
      Clock::time_point waitUntil = Clock::now() + 10s;
      while (ok && !go && Clock::now() < waitUntil) std::this_thread::sleep_for(1ms);
      if (ok) listReply = pop.MultiLineCommand("LIST", 60s).value_or("");
      listed = true;
      while (ok && !quit && Clock::now() < waitUntil + 60s) std::this_thread::sleep_for(1ms);
      if (ok) pop.Command("QUIT");
      done = true;
    });
    test::PumpUntil([&] { return loggedIn.load(); }, 10s);
    long receives0 = receiveCalls, waits0 = WaitsOfThisThread();
    Clock::time_point started = Clock::now();
    double cpu0 = ThreadCpu();
    go = true;
    double longestTurn = 0;
    Clock::time_point deadline = started + 60s;
    while (!listed && Clock::now() < deadline) {
      Clock::time_point turn = Clock::now();
      loop.WaitAndDispatch(20ms);
      longestTurn = std::max(longestTurn, Seconds(Clock::now() - turn).count());
    }
    double cpu1 = ThreadCpu();
    double wall = Seconds(Clock::now() - started).count();
    long receives1 = receiveCalls, waits1 = WaitsOfThisThread();
    quit = true;
    test::PumpUntil([&] { return done.load(); }, 20s);
    client.join();
    screened.WaitForSessionsFreed();
    if (!listReply.starts_with("-ERR UIDL")) {
      state.SkipWithError(("unexpected LIST reply: " + listReply.substr(0, 40)).c_str());
      return;
    }
    state.SetIterationTime(wall);
    state.counters["wall_s"] = wall;
    state.counters["main_cpu_s"] = cpu1 - cpu0;
    state.counters["cpu/wall"] = (cpu1 - cpu0) / wall;
    state.counters["longest_loop_turn_s"] = longestTurn;
    state.counters["receive_calls"] = static_cast<double>(receives1 - receives0);
    state.counters["blocking_waits"] = static_cast<double>(waits1 - waits0);
    state.counters["pieces"] = static_cast<double>((replyBytes + piece - 1) / piece);
  }
  state.counters["list_bytes"] = static_cast<double>(replyBytes);
  state.counters["messages"] = static_cast<double>(count);
  state.counters["piece_bytes"] = static_cast<double>(piece);
}

// The 10,000-message scan comes first: its peak memory must be its own. The
// short runs get more iterations, as the machine's load weighs more on them.
BENCHMARK(BM_ScanThroughForm)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanThroughForm)
    ->Arg(1000)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanFloor, sequential, false, kScanBodyLines)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanFloor, sequential, false, kScanBodyLines)
    ->Arg(1000)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanFloor, header_only, false, 0)
    ->Arg(1000)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanFloor, pipelined, true, kScanBodyLines)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrickledList)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return qb::bench::RunAndCompare(argc, argv,
                                  {{ThroughName(1000), FloorName(1000)},
                                   {ThroughName(10000), FloorName(10000)},
                                   {PipelinedName(10000), FloorName(10000)},
                                   {FloorName(1000), HeaderOnlyName(1000)}},
                                  "msg/s");
}
