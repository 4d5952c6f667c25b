// A scan with block-list lookups through the C library's resolver, pointed
// by a private /etc/resolv.conf at a test name server that stops answering:
// the other sessions are served meanwhile, logins by server name included,
// and the scan ends with the lookups counted as "not listed".
#include <gtest/gtest.h>

#include "RecordingWindow.h"
#include "ScreenedSessionFixture.h"
#include "app/Unit1.h"
#include "support/PrivateResolver.h"
#include "support/TestDnsResponder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kNameServer = "127.0.53.1";
constexpr const char* kZone = "bl.test";

const PrivateResolverFiles kFiles = {
    .NameServer = kNameServer,
    .Options = "timeout:5 attempts:1",  // longer than a lookup's limit
    .Hosts = "127.0.0.1 localhost\n127.0.0.1 pop.test\n",
};

std::string Relayed(int n) {
  return "Received: from mx" + std::to_string(n) + " (mx [192.0.2." + std::to_string(n) +
         "])\r\nFrom: m" + std::to_string(n) + "@example.org\r\nSubject: s" + std::to_string(n) +
         "\r\n\r\nThe body.\r\n";
}

TEST(SilentNameServer, OtherSessionsAreServedWhileTheScanWaitsAndItsLookupsCountAsNotListed) {
  if (!RunInPrivateResolver(kFiles)) return;
  TestDnsResponder dns(kNameServer);
  dns.Zone = kZone;
  dns.Records[std::string("2.0.0.127.") + kZone] = {127, 0, 0, 2};
  dns.Records[std::string("1.2.0.192.") + kZone] = {127, 0, 0, 2};  // listed, but never answered
  if (!dns.Start()) GTEST_SKIP() << "cannot bind " << kNameServer << ":53";

  TempFolder folder;
  RecordingPopup popup;
  RecordingTray tray;
  RecordingDialogs dialogs;
  // The system's resolver, which lives on: a worker still waits inside it
  // for the silent name server when the test ends.
  TForm1 form{popup, tray, CurrentHostResolver()};
  form.State.ProgramFolder = folder.Path().string() + "/";
  form.State.DnsblList = {kZone};
  form.Screening.UseBlockListZone();
  ASSERT_TRUE(PumpUntil([&] { return form.Screening.BlockListChecker().ZoneUsable(); }, 10s));
  form.MailGateway1.Port = "0";
  ASSERT_EQ(form.MailGateway1.Open(), "");
  auto port = static_cast<std::uint16_t>(form.MailGateway1.ListenSocket().BoundPort());

  ScriptedPop3Server scanned, other;
  for (int n = 1; n <= 3; ++n) scanned.AddMessage(Relayed(n));
  other.AddMessage("Subject: other\r\n\r\nbody\r\n");
  dns.Silent = true;
  std::optional<std::string> list;
  ClientThread first([&] {
    PlainPop3Client pop(port);
    if (!pop.LogIn("alice#127.0.0.1:" + std::to_string(scanned.Port()), "secret")) return;
    list = pop.MultiLineCommand("LIST", 20s);
    pop.Command("QUIT");
  });
  ASSERT_TRUE(
      PumpUntil([&] { return form.Screening.BlockListChecker().LookupsInFlight() > 0; }, 10s));

  // A login by server name, resolved from the private /etc/hosts.
  std::string stat;
  ClientThread second([&] {
    PlainPop3Client pop(port);
    if (!pop.LogIn("alice#pop.test:" + std::to_string(other.Port()), "secret")) return;
    stat = pop.Command("NOOP");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(second.Finish(10s));
  EXPECT_TRUE(stat.starts_with("+OK")) << stat;
  EXPECT_FALSE(form.Controls.Button1Enabled) << "the scan still waits for its lookups";

  ASSERT_TRUE(PumpUntil([&] { return form.Controls.Button1Enabled; }, 20s));
  EXPECT_EQ(form.State.SpamFlags, (std::vector<std::string>{"0", "0", "0"}))
      << "a lookup that timed out counts as not listed";
  EXPECT_NE(form.StatusBar1Text.find("did not answer"), std::string::npos) << form.StatusBar1Text;
  form.Button1Click();
  ASSERT_TRUE(first.Finish());
  EXPECT_EQ(MessageLines(list), 3);
  form.MailGateway1.Close();
  MessageLoop::Instance().ProcessMessages();
}

}  // namespace
}  // namespace qb::test
