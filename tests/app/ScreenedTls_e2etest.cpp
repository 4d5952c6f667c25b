// A screened session over TLS: fetchmail fetches through the main window's
// logic from a real Dovecot on its POP3S port ("ssl = required"), the scan
// ticks the blocked sender, and after "Remove Checked" that message is
// deleted on the server while the rest arrive byte for byte.
#include <gtest/gtest.h>

#include "RecordingWindow.h"
#include "app/Unit1.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/TestCertificates.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class NoListings : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {}; }
};

std::string Message(const std::string& from, const std::string& subject, int bodyLines) {
  std::string text = "From: " + from + "\r\nTo: alice@example.org\r\nSubject: " + subject +
                     "\r\nMessage-ID: <" + subject.substr(0, 4) + "@example.org>\r\n\r\n";
  for (int i = 0; i < bodyLines; ++i) text += "Body line " + std::to_string(i) + "\r\n";
  return text;
}

TEST(TlsScreenedSession, TheBlockedSenderIsDeletedOnTheServerAndTheRestArriveIntact) {
  TestCertificates certificates;
  ScopedCaFile caFile(certificates.CaFile());
  DovecotServer dovecot({.RecordSessions = true, .Tls = certificates.Issue()});
  std::vector<std::string> messages = {Message("friend@example.org", "Lunch on Friday", 5),
                                       Message("blocked@example.org", "Buy now", 5),
                                       Message("colleague@example.org", "Minutes", 3000)};
  for (const std::string& message : messages) dovecot.AddMessage("alice", message);
  dovecot.Start();

  TempFolder folder;
  RecordingPopup popup;
  RecordingTray tray;
  NoListings resolver;
  RecordingDialogs dialogs;
  TForm1 form{popup, tray, resolver};
  form.State.ProgramFolder = folder.Path().string() + "/";
  form.State.SenderList = {"blocked@example.org"};
  form.MailGateway1.Port = "0";
  ASSERT_EQ(form.MailGateway1.Open(), "");

  Fetchmail fetchmail(
      {.User = "alice#127.0.0.1:" + std::to_string(dovecot.PopsPort()) + "/tls",
       .Password = "secret",
       .Port = static_cast<std::uint16_t>(form.MailGateway1.ListenSocket().BoundPort()),
       .Keep = true});
  std::unique_ptr<ChildProcess> child = fetchmail.Start();
  ASSERT_TRUE(PumpUntil([&] { return form.Controls.Button1Enabled; }, 60s)) << dovecot.Log();
  std::vector<MessageRow>& rows = form.ReviewListView1.Rows();
  ASSERT_EQ(rows.size(), 3u);
  for (const MessageRow& row : rows) {
    EXPECT_EQ(row.Checked, std::to_string(row.Number) == "2") << std::to_string(row.Number);
  }
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return !child->Running(); }, 60s));
  ProcessResult result = child->Wait(5s);

  std::vector<std::string> left = dovecot.Messages("alice");
  ASSERT_EQ(left.size(), 2u) << result.Errors;
  EXPECT_EQ(left[0], messages[0]);
  EXPECT_EQ(left[1], messages[2]);
  std::vector<std::string> delivered = fetchmail.Delivered();
  ASSERT_EQ(delivered.size(), 2u) << result.Errors << result.Output;
  EXPECT_NE(delivered[0].find(messages[0]), std::string::npos);
  EXPECT_NE(delivered[1].find(messages[2]), std::string::npos);
  EXPECT_NE(dovecot.RawLog("alice").find("DELE 2"), std::string::npos);
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
  for (const std::string& login : dovecot.Logins()) {
    EXPECT_NE(login.find(", TLS,"), std::string::npos) << login;
  }
}

}  // namespace
}  // namespace qb::test
