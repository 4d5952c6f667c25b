// A real fetchmail fetches from a real Dovecot server through the program's
// own gateway, run by the main window's logic in this process: the scan
// ticks the unwanted messages, "Remove Checked" releases the list, and the
// ticked messages are deleted on the server instead of downloaded.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "RecordingWindow.h"
#include "app/RemovalLog.h"
#include "app/Unit1.h"
#include "platform/FileStore.h"
#include "screening/RestoredMail.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/TempFolder.h"
#include "support/ZoneResolver.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string Message(const std::string& from, const std::string& subject, int bodyLines,
                    const std::string& received = "") {
  std::string text =
      received + "From: " + from + "\r\nTo: alice@example.org\r\nSubject: " + subject + "\r\n\r\n";
  for (int i = 0; i < bodyLines; ++i)
    text += "Body line " + std::to_string(i) + " of " + subject + "\r\n";
  return text;
}

class ScreenedRealPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    messages = {
        Message("friend@example.org", "Lunch on Friday", 5),
        Message("blocked@example.org", "Buy now", 5),
        Message("someone@example.org", "Your document is attached", 300),
        Message("relay@example.org", "Cheap offer", 5,
                "Received: from mx.spam.example (mx.spam.example [198.51.100.7])\r\n"
                "\tby mail.example.org; Tue, 10 Jun 2003 12:00:00 +0000\r\n"),
        Message("colleague@example.org", "Minutes of the meeting", 8),
    };
    for (const std::string& message : messages) dovecot.AddMessage("alice", message);
    dovecot.Start();
    form.State.ProgramFolder = folder.Path().string() + "/";
    form.State.SenderList = {"blocked@example.org"};
    form.State.VirusList = {"Your document"};
    resolver.List("198.51.100.7");
    form.State.DnsblList = {ZoneResolver::kZone};
    form.MailGateway1.Port = "0";
    ASSERT_EQ(form.MailGateway1.Open(), "");
  }
  std::uint16_t GatewayPort() {
    return static_cast<std::uint16_t>(form.MailGateway1.ListenSocket().BoundPort());
  }
  FetchmailOptions Options(bool keep) {
    return {.User = "alice#127.0.0.1:" + std::to_string(dovecot.Port()),
            .Password = "secret",
            .Port = GatewayPort(),
            .Keep = keep};
  }
  MessageRow& Row(const std::string& number) {
    for (MessageRow& row : form.ReviewListView1.Rows()) {
      if (std::to_string(row.Number) == number) return row;
    }
    throw std::runtime_error("no row " + number);
  }

  TempFolder folder;
  RecordingPopup popup;
  RecordingTray tray;
  ZoneResolver resolver;
  RecordingDialogs dialogs;
  TForm1 form{popup, tray, resolver};
  DovecotServer dovecot{{.Users = {{"alice", "secret"}}, .RecordSessions = true}};
  std::vector<std::string> messages;
};

TEST_F(ScreenedRealPeers, TickedMessagesAreDeletedOnTheServerAndTheRestArriveIntact) {
  Fetchmail fetchmail(Options(true));
  std::unique_ptr<ChildProcess> child = fetchmail.Start();
  ASSERT_TRUE(PumpUntil([&] { return form.Controls.Button1Enabled; }, 60s)) << dovecot.Log();
  EXPECT_EQ(Row("1").CategoryIcon, MessageCategory::mcUseful);
  EXPECT_EQ(Row("2").CategoryIcon, MessageCategory::mcBlockedSender);
  EXPECT_EQ(Row("3").CategoryIcon, MessageCategory::mcVirus);
  EXPECT_EQ(Row("4").CategoryIcon, MessageCategory::mcSpam);
  EXPECT_TRUE(Row("2").Checked && Row("3").Checked && Row("4").Checked);
  EXPECT_FALSE(Row("1").Checked || Row("5").Checked);
  Row("4").Checked = false;  // the user keeps this one
  std::string lastUid = Row("5").Uid;
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return !child->Running(); }, 60s));
  ProcessResult result = child->Wait(5s);

  std::vector<std::string> left = dovecot.Messages("alice");
  ASSERT_EQ(left.size(), 3u) << result.Errors;
  EXPECT_EQ(left[0], messages[0]);
  EXPECT_EQ(left[1], messages[3]);
  EXPECT_EQ(left[2], messages[4]);
  std::vector<std::string> delivered = fetchmail.Delivered();
  ASSERT_EQ(delivered.size(), 3u) << result.Errors << result.Output;
  EXPECT_NE(delivered[0].find(messages[0]), std::string::npos);
  EXPECT_NE(delivered[1].find(messages[3]), std::string::npos);
  EXPECT_NE(delivered[2].find(messages[4]), std::string::npos);
  std::string session = dovecot.RawLog("alice");
  EXPECT_NE(session.find("DELE 2"), std::string::npos);
  EXPECT_NE(session.find("DELE 3"), std::string::npos);
  std::optional<std::string> marker = ReadWholeFile(
      form.State.ProgramFolder + MakeUidFileStem(Options(true).User + "\r\n") + ".UID");
  ASSERT_TRUE(marker.has_value());
  EXPECT_EQ(*marker, lastUid + "\r\n") << "the last message retrieved";

  // A second fetch finds nothing new: its LIST is answered at once.
  form.Controls.Button1Enabled = false;
  Fetchmail again(Options(true));
  std::unique_ptr<ChildProcess> second = again.Start();
  ASSERT_TRUE(PumpUntil([&] { return !second->Running(); }, 60s));
  second->Wait(5s);
  EXPECT_FALSE(form.Controls.Button1Enabled) << "no scan, nothing to review";
}

// The first poll gives up while the review is open (fetchmail's own time
// limit); the user decides afterwards; the second poll removes the ticked
// messages before fetchmail sees its list and delivers the rest byte for
// byte, without a second review.
TEST_F(ScreenedRealPeers, AReviewThatOutlastsThePollIsCarriedOutAtTheNextPoll) {
  FetchmailOptions impatient = Options(true);
  impatient.ServerTimeout = 3s;
  Fetchmail first(impatient);
  std::unique_ptr<ChildProcess> poll = first.Start();
  ASSERT_TRUE(PumpUntil([&] { return form.Controls.Button1Enabled; }, 60s)) << dovecot.Log();
  ASSERT_TRUE(PumpUntil([&] { return !poll->Running(); }, 60s)) << "fetchmail gives up";
  ProcessResult gaveUp = poll->Wait(5s);
  ASSERT_TRUE(PumpUntil([&] { return form.Screening.ReviewClient.Get() == nullptr; }, 10s));
  EXPECT_TRUE(first.Delivered().empty()) << gaveUp.Errors;
  EXPECT_EQ(dovecot.Messages("alice").size(), 5u);
  EXPECT_EQ(form.ReviewListView1.Count(), 5u) << "the review stays";
  EXPECT_TRUE(form.Controls.Button1Enabled);
  EXPECT_TRUE(Row("2").Checked && Row("3").Checked && Row("4").Checked);
  Row("4").Checked = false;  // the user keeps this one
  form.Button1Click();

  std::size_t popups = popup.shown.size();
  Fetchmail second(Options(true));
  std::unique_ptr<ChildProcess> next = second.Start();
  ASSERT_TRUE(PumpUntil([&] { return !next->Running(); }, 60s));
  ProcessResult result = next->Wait(5s);
  std::vector<std::string> left = dovecot.Messages("alice");
  ASSERT_EQ(left.size(), 3u) << result.Errors;
  EXPECT_EQ(left, (std::vector<std::string>{messages[0], messages[3], messages[4]}));
  EXPECT_EQ(second.Delivered(), left) << result.Errors << result.Output;
  EXPECT_EQ(popup.shown.size(), popups) << "nothing to review again";
  std::string session = dovecot.RawLog("alice");
  EXPECT_NE(session.find("DELE 2"), std::string::npos);
  EXPECT_NE(session.find("DELE 3"), std::string::npos);
  EXPECT_EQ(session.find("DELE 4"), std::string::npos);
}

// A removed message delivered again: "Deliver again" marks its copy, the
// next poll gets it after the server's messages, byte for byte, and the
// poll after that does not get it twice.
TEST_F(ScreenedRealPeers, ARemovedMessageMarkedForDeliveryArrivesOnceAtTheNextPoll) {
  Fetchmail first(Options(false));
  std::unique_ptr<ChildProcess> child = first.Start();
  ASSERT_TRUE(PumpUntil([&] { return form.Controls.Button1Enabled; }, 60s)) << dovecot.Log();
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return !child->Running(); }, 60s));
  ProcessResult firstResult = child->Wait(5s);
  ASSERT_EQ(first.Delivered().size(), 2u) << firstResult.Errors;
  ASSERT_TRUE(dovecot.Messages("alice").empty()) << "fetchmail deleted what it got";
  std::vector<TRemovalLogEntry> removed = ReadRemovalLog(form.State.ProgramFolder);
  auto blocked = std::find_if(removed.begin(), removed.end(), [](const TRemovalLogEntry& e) {
    return e.From == "blocked@example.org";
  });
  ASSERT_NE(blocked, removed.end());
  ASSERT_TRUE(MarkForDelivery(form.State.ProgramFolder, blocked->Copy));

  auto poll = [&](const Fetchmail& fetchmail) {
    std::unique_ptr<ChildProcess> child = fetchmail.Start();
    EXPECT_TRUE(PumpUntil([&] { return !child->Running(); }, 60s));
    return child->Wait(5s);
  };
  Fetchmail second(Options(false));
  ProcessResult secondResult = poll(second);
  ASSERT_EQ(second.Delivered().size(), 1u) << secondResult.Errors << secondResult.Output;
  EXPECT_EQ(second.Delivered()[0], messages[1]);
  EXPECT_TRUE(std::filesystem::exists(form.State.ProgramFolder + kRemovedFolder + blocked->Copy));
  EXPECT_EQ(ReadRemovalLog(form.State.ProgramFolder).front().Category, kDeliveredAgain);

  Fetchmail third(Options(false));
  ProcessResult thirdResult = poll(third);
  EXPECT_TRUE(third.Delivered().empty()) << thirdResult.Output;
}

}  // namespace
}  // namespace qb::test
