// How long a second mail client waits for the gateway's greeting while a
// scan waits for its block-list lookups: the program's own TForm1 on the main
// thread's loop, a scan of 300 new messages with two relays each, and a name
// server that answers every lookup after a delay (5, 20 or 50 ms, on the
// resolver pool's threads). A prober connects again and again and times the
// greeting, first with the program idle (the baseline), then during the scan.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/RecordingWindow.h"
#include "app/Unit1.h"
#include "support/PlainPop3Client.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"

namespace {

using namespace qb;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kZone = "bl.bench";
constexpr int kMessages = 300;

// Every lookup answers after the delay; only the zone's test entry is listed.
class DelayedResolver : public IHostResolver {
 public:
  explicit DelayedResolver(std::chrono::milliseconds delay) : delay_(delay) {}
  std::vector<Ipv4Address> ResolveIPv4(const std::string& name) override {
    ++lookups;
    std::this_thread::sleep_for(delay_);
    if (name == std::string("2.0.0.127.") + kZone) return {{127, 0, 0, 2}};
    return {};
  }
  std::atomic<std::size_t> lookups{0};

 private:
  std::chrono::milliseconds delay_;
};

std::string Message(int n) {
  return "Received: from a (a [192.0.2." + std::to_string(n % 250 + 1) + "])\r\n" +
         "Received: from b (b [198.51." + std::to_string(n / 250) + "." +
         std::to_string(n % 250 + 1) + "])\r\nFrom: m" + std::to_string(n) +
         "@example.org\r\nSubject: message " + std::to_string(n) + "\r\n\r\nbody\r\n";
}

// Greetings timed by a prober thread until `stop`, one connection after another.
std::vector<double> ProbeGreetings(std::uint16_t port, const std::atomic<bool>& stop,
                                   std::size_t most) {
  std::vector<double> millis;
  while (!stop && millis.size() < most) {
    auto start = Clock::now();
    test::PlainPop3Client probe(port);
    if (!probe.ReadLine(5s)) break;
    millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::this_thread::sleep_for(10ms);
  }
  return millis;
}

struct Latency {
  double Median = 0;
  double Max = 0;
  std::size_t Count = 0;
};

Latency Summary(std::vector<double> millis) {
  if (millis.empty()) return {};
  std::sort(millis.begin(), millis.end());
  return {millis[millis.size() / 2], millis.back(), millis.size()};
}

// The prober runs while the loop turns, until `done` or `most` probes.
Latency ProbeWhile(std::uint16_t port, const std::function<bool()>& done, std::size_t most) {
  std::atomic<bool> stop{false}, proberDone{false};
  std::vector<double> millis;
  std::thread prober([&] {
    millis = ProbeGreetings(port, stop, most);
    proberDone = true;
  });
  test::PumpUntil([&] { return proberDone || done(); }, 120s);
  stop = true;
  test::PumpUntil([&] { return false; }, 50ms);
  prober.join();
  return Summary(millis);
}

void Measure(std::chrono::milliseconds delay) {
  test::TempFolder folder{"qb-greetbench"};
  test::RecordingPopup popup;
  test::RecordingTray tray;
  test::RecordingDialogs dialogs;
  DelayedResolver resolver(delay);
  TForm1 form{popup, tray, resolver};
  form.State.ProgramFolder = folder.Path().string() + "/";
  form.State.DnsblList = {kZone};
  form.Screening.UseBlockListZone();
  test::PumpUntil([&] { return form.Screening.BlockListChecker().ZoneUsable(); }, 10s);
  form.MailGateway1.Port = "0";
  if (!form.MailGateway1.Open().empty()) return;
  auto port = static_cast<std::uint16_t>(form.MailGateway1.ListenSocket().BoundPort());
  test::ScriptedPop3Server server;
  for (int n = 1; n <= kMessages; ++n) server.AddMessage(Message(n));

  Latency idle = ProbeWhile(
      port, [] { return false; }, 50);

  std::atomic<bool> finished{false};
  std::thread client([&] {
    test::PlainPop3Client pop(port);
    if (pop.LogIn("alice#127.0.0.1:" + std::to_string(server.Port()), "secret")) {
      pop.MultiLineCommand("LIST", 120s);
      pop.Command("QUIT");
    }
    finished = true;
  });
  auto scanStart = Clock::now();
  Latency busy = ProbeWhile(
      port, [&] { return form.Controls.Button1Enabled; }, 100000);
  double scanSeconds = std::chrono::duration<double>(Clock::now() - scanStart).count();
  form.Button1Click();
  test::PumpUntil([&] { return finished.load(); }, 20s);
  client.join();
  std::printf("%5lld ms %8zu %9.2f %10.2f %10.2f %8zu %10.2f %10.2f %8.1f\n",
              static_cast<long long>(delay.count()), resolver.lookups.load(), scanSeconds,
              idle.Median, idle.Max, busy.Count, busy.Median, busy.Max,
              idle.Median > 0 ? busy.Median / idle.Median : 0.0);
  std::fflush(stdout);
  form.MailGateway1.Close();
}

}  // namespace

int main() {
  std::printf("greeting latency of a second client, %d-message scan with 2 relays each\n\n",
              kMessages);
  std::printf("%-8s %8s %9s %10s %10s %8s %10s %10s %8s\n", "delay", "lookups", "scan s",
              "idle med", "idle max", "probes", "scan med", "scan max", "ratio");
  for (auto delay : {5ms, 20ms, 50ms}) Measure(delay);
  return 0;
}
