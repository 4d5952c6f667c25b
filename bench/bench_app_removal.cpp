// What the copies of removed mail cost "Remove Checked": 100 ticked
// messages of 50 kB each are removed through a TForm1 whose gateway runs on
// the main thread's loop, with a scripted POP3 server behind it and a mail
// client on a thread of its own; once with a copy of each message written
// and synced into removed/ before its DELE, once with the copy limit at 0
// (DELE only, still logged). The time runs from the click to the client's
// LIST reply; the scan before it is not counted.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "BenchRatio.h"
#include "app/RecordingWindow.h"
#include "app/Unit1.h"
#include "platform/MessageLoop.h"
#include "support/PlainPop3Client.h"
#include "support/PumpUntil.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"

namespace {

using namespace qb;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kMessages = 100;
constexpr std::size_t kMessageBytes = 50 * 1024;

class NoNames : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {}; }
};

std::string SpamMessage(int n) {
  std::string text = "From: spam@example.org\r\nSubject: offer " + std::to_string(n) + "\r\n\r\n";
  while (text.size() < kMessageBytes) text += "A line of the body that fills the message up.\r\n";
  return text;
}

const char* Name(bool copies) {
  return copies ? "remove 100 x 50 kB with copies, msg/s" : "remove 100 x 50 kB, DELE only, msg/s";
}

void BM_RemoveChecked(benchmark::State& state) {
  bool copies = state.range(0) != 0;
  double seconds = 0;
  std::size_t removed = 0;
  for (auto _ : state) {
    test::TempFolder folder;
    test::ScriptedPop3Server server;
    for (int n = 0; n < kMessages; ++n) server.AddMessage(SpamMessage(n));
    test::RecordingPopup popup;
    test::RecordingTray tray;
    NoNames resolver;
    TForm1 form(popup, tray, resolver);
    form.State.ProgramFolder = folder.Path().string() + "/";
    form.State.SenderList = {"spam@"};
    if (!copies) form.Screening.RemovedMail.CopyLimitBytes = 0;
    form.MailGateway1.Port = "0";
    if (!form.MailGateway1.Open().empty()) return state.SkipWithError("no gateway");
    auto port = static_cast<std::uint16_t>(form.MailGateway1.ListenSocket().BoundPort());
    std::atomic<bool> listed{false};
    std::atomic<bool> done{false};
    std::thread client([&] {
      test::PlainPop3Client pop(port);
      if (pop.ReadLine() &&
          pop.Command("USER alice#127.0.0.1:" + std::to_string(server.Port())).starts_with("+OK") &&
          pop.Command("PASS secret").starts_with("+OK")) {
        pop.MultiLineCommand("LIST", 120s);
        listed = true;
        pop.Command("QUIT");
      }
      listed = true;
      done = true;
    });
    bool ready = test::PumpUntil([&] { return form.Controls.Button1Enabled; }, 120s);
    Clock::time_point start = Clock::now();
    if (ready) form.Button1Click();
    test::PumpUntil([&] { return listed.load(); }, 120s);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    test::PumpUntil([&] { return done.load(); }, 120s);
    client.join();
    removed += kMessages - server.Mailbox().size();
    form.MailGateway1.Close();
    MessageLoop::Instance().ProcessMessages();
    if (!ready || server.Mailbox().size() != 0) return state.SkipWithError("not all removed");
  }
  state.counters["msg/s"] = static_cast<double>(removed) / seconds;
  bench::Record(Name(copies), static_cast<double>(removed) / seconds);
}
BENCHMARK(BM_RemoveChecked)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunAndCompare(argc, argv, {{Name(true), Name(false)}}, "msg/s");
}
