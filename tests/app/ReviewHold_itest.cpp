// A review that outlasts the mail client's session: the decisions "Remove
// Checked" records by UID are carried out at the account's next session,
// a held listing is released at the hold limit without the messages under
// review, and the server session hears a NOOP while the client waits.
#include <gtest/gtest.h>

#include <filesystem>

#include "ScreenedSessionFixture.h"
#include "platform/FileStore.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class ReviewHold : public ScreenedSessionTest {
 protected:
  void SetUp() override {
    ScreenedSessionTest::SetUp();
    for (int i = 1; i <= 3; ++i) {
      server.AddMessage(Message("From: m" + std::to_string(i) + "@example.org\r\nSubject: s" +
                                std::to_string(i)));
    }
  }
  void TickOnly(const std::string& number) {
    for (MessageRow& row : form.ReviewListView1.Rows())
      row.Checked = std::to_string(row.Number) == number;
  }
  bool ReviewLeftOpen() {
    return form.Screening.OpenReview().Open && form.Screening.ReviewClient.Get() == nullptr;
  }
  std::string DecisionsText() { return ReadWholeFile(DecisionsPath()).value_or("(none)"); }
  // A whole session that lists and retrieves everything it is shown.
  struct Fetched {
    std::string Stat;  // asked after the list
    std::optional<std::string> List;
    std::vector<std::string> Messages;
  };
  Fetched FetchAll() {
    Fetched fetched;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (!LogIn(pop)) return;
      fetched.List = pop.MultiLineCommand("LIST", 20s);
      fetched.Stat = pop.Command("STAT");
      for (int n = 1; n <= MessageLines(fetched.List); ++n) {
        fetched.Messages.push_back(pop.MultiLineCommand("RETR " + std::to_string(n)).value_or(""));
      }
      pop.Command("QUIT");
    });
    EXPECT_TRUE(client.Finish());
    return fetched;
  }
  // A client that asks for the list and gives up before the review ends.
  void GiveUpDuringTheReview() {
    ASSERT_TRUE(ListAndLeaveBeforeTheDecision());
    ASSERT_TRUE(PumpUntil([&] { return ReviewLeftOpen(); }, 10s));
  }
};

// The client gives up; the user decides later: the next session deletes
// the ticked message before its list, lists the kept ones without a new
// review, and nothing else is deleted.
TEST_F(ReviewHold, ADecisionMadeAfterTheClientGaveUpIsCarriedOutAtTheNextSession) {
  GiveUpDuringTheReview();
  EXPECT_EQ(form.ReviewListView1.Count(), 3u) << "the review stays";
  EXPECT_TRUE(form.Controls.Button1Enabled);
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
  EXPECT_EQ(popup.shown.back().Text, kDecideLaterText);
  EXPECT_NE(form.StatusBar1Text.find("next check"), std::string::npos) << form.StatusBar1Text;

  TickOnly("2");
  form.Button1Click();
  EXPECT_EQ(DecisionsText(), "keep QB000001\r\nremove QB000002\r\nkeep QB000003\r\n");
  EXPECT_TRUE(form.ReviewListView1.Empty());
  EXPECT_EQ(server.CountCommands("DELE"), 0u) << "nothing to act on until the next session";

  std::size_t popups = popup.shown.size();
  server.ClearCommands();
  Fetched next = FetchAll();
  EXPECT_EQ(MessageLines(next.List), 2);
  ASSERT_EQ(next.Messages.size(), 2u);
  EXPECT_NE(next.Messages[0].find("Subject: s1"), std::string::npos);
  EXPECT_NE(next.Messages[1].find("Subject: s3"), std::string::npos);
  EXPECT_EQ(server.CountCommands("TOP"), 0u) << "decided messages are not reviewed again";
  EXPECT_EQ(popup.shown.size(), popups);
  std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "DELE 2"), 1);
  EXPECT_EQ(server.CountCommands("DELE"), 1u);
  std::vector<Pop3Message> left = server.Mailbox();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].Uid, "QB000001");
  EXPECT_EQ(left[1].Uid, "QB000003");
  FetchAll();
  EXPECT_EQ(DecisionsText(), "keep QB000001\r\nkeep QB000003\r\n")
      << "the removed message's decision is dropped once it has left the server";
}

// The hold limit answers the waiting LIST without the messages under
// review, which stay on the server marked for review; the rest is listed
// and retrieved, and the review stays open. The next session shows them
// again; what is decided there is not reviewed a third time.
TEST_F(ReviewHold, AHeldListIsReleasedAtTheLimitWithoutTheMessagesUnderReview) {
  ASSERT_TRUE(WriteFileAtomically(MarkerFile(), "QB000001\r\n"));
  form.Screening.ReviewLimits.Hold = 1s;
  Fetched first = FetchAll();
  ASSERT_TRUE(first.List.has_value());
  std::string size1 = std::to_string(server.Mailbox()[0].Bytes.size());
  EXPECT_EQ(*first.List, "+OK\r\n1 " + size1 + "\r\n.\r\n");
  EXPECT_EQ(first.Stat, "+OK 1 " + size1 + "\r\n") << "STAT agrees with the list";
  ASSERT_EQ(first.Messages.size(), 1u);
  EXPECT_NE(first.Messages[0].find("Subject: s1"), std::string::npos);
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
  EXPECT_EQ(server.Mailbox().size(), 3u);
  EXPECT_TRUE(ReviewLeftOpen());
  EXPECT_TRUE(form.Controls.Button1Enabled);
  ASSERT_FALSE(popup.shown.empty());
  EXPECT_EQ(popup.shown.back().Text, kDecideLaterText);
  EXPECT_EQ(DecisionsText(), "review QB000002\r\nreview QB000003\r\n");

  form.Screening.ReviewLimits.Hold = 45s;
  std::optional<std::string> list;
  ClientThread second([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 20s);
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return form.Screening.ReviewClient.Get() != nullptr; }, 10s));
  EXPECT_EQ(form.ReviewListView1.Count(), 2u);
  TickOnly("3");
  form.Button1Click();
  ASSERT_TRUE(second.Finish());
  EXPECT_EQ(MessageLines(list), 2);
  EXPECT_EQ(DecisionsText(), "keep QB000002\r\nremove QB000003\r\n");

  server.ClearCommands();
  Fetched third = FetchAll();
  EXPECT_EQ(MessageLines(third.List), 2);
  EXPECT_EQ(server.CountCommands("TOP"), 0u);
  EXPECT_EQ(server.CountCommands("DELE"), 0u) << "message 3 left the server at the second QUIT";
  EXPECT_EQ(DecisionsText(), "keep QB000002\r\n");
}

// A UID the server gives two messages names neither for sure: no decision
// is recorded for it, a recorded one is not used, and only the message with
// a UID of its own is deleted.
TEST_F(ReviewHold, AUidListedTwiceIsNeverDecidedRemove) {
  server.FailCommand("UIDL", "+OK\r\n1 SAME\r\n2 SAME\r\n3 QB000003\r\n.");
  GiveUpDuringTheReview();
  for (MessageRow& row : form.ReviewListView1.Rows()) row.Checked = true;
  form.Button1Click();
  EXPECT_EQ(DecisionsText(), "remove QB000003\r\n");
  ASSERT_TRUE(WriteFileAtomically(DecisionsPath(), "remove SAME\r\nremove QB000003\r\n"));
  std::atomic<bool> listed{false};
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    pop.MultiLineCommand("LIST", 20s);
    listed = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s)) << "the two are reviewed again";
  EXPECT_EQ(form.ReviewListView1.Count(), 2u);
  for (MessageRow& row : form.ReviewListView1.Rows()) row.Checked = false;
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(server.CountCommands("DELE 3"), 1u);
  EXPECT_EQ(server.CountCommands("DELE"), 1u);
}

// A decisions file that cannot be written (a folder stands in its place)
// leaves everything on the server: no DELE, the reviewed messages are not
// listed, the user is told, and the review can be decided again.
// The client's view is then exactly the server's: every message listed
// under the server's numbers, so nothing is hidden and no number shifts.
TEST_F(ReviewHold, DecisionsThatCannotBeRecordedLeaveEverythingOnTheServer) {
  ASSERT_TRUE(std::filesystem::create_directory(DecisionsPath()));
  std::optional<std::string> list, first;
  std::string stat;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 20s);
    stat = pop.Command("STAT");
    first = pop.MultiLineCommand("RETR 1");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  TickOnly("1");
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(MessageLines(list), 3) << list.value_or("(none)");
  EXPECT_TRUE(stat.starts_with("+OK 3 ")) << stat;
  EXPECT_NE(first.value_or("").find("From: m1@example.org"), std::string::npos);
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
  EXPECT_EQ(server.Mailbox().size(), 3u);
  MessageLoop::Instance().ProcessMessages();
  ASSERT_FALSE(dialogs.MessageBoxes().empty());
  EXPECT_NE(dialogs.MessageBoxes().back().Text.find(DecisionsPath()), std::string::npos);
  EXPECT_TRUE(ReviewLeftOpen());
  EXPECT_TRUE(form.Controls.Button1Enabled) << "the user may try again";
}

// While the client waits, the server hears NOOP, and the replies still
// line up; a hold above the longest hold is cut to it.
TEST_F(ReviewHold, TheServerSessionIsKeptAliveAndNeverHeldBeyondTheLongestHold) {
  form.Screening.ReviewLimits = {.Hold = 1h, .KeepAlive = 20ms, .MaxHold = 300ms};
  Fetched fetched = FetchAll();
  EXPECT_GE(server.CountCommands("NOOP"), 1u);
  EXPECT_EQ(*fetched.List, "+OK\r\n.\r\n");
  EXPECT_TRUE(ReviewLeftOpen());
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
}

// The server closes the session while the review waits (here at a NOOP):
// the client gets its answer, the review stays open, and the decision
// carries over to the next session, which deletes on a connection of its
// own.
TEST_F(ReviewHold, AServerThatClosesDuringTheReviewLeavesTheDecisionToTheNextSession) {
  form.Screening.ReviewLimits.KeepAlive = 20ms;
  server.CloseDuringReply("NOOP", 0);
  std::string status;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    status = pop.Command("LIST", 20s);
  });
  ASSERT_TRUE(client.Finish());
  EXPECT_TRUE(status.starts_with("-ERR")) << status;
  ASSERT_TRUE(PumpUntil([&] { return ReviewLeftOpen(); }, 10s));
  EXPECT_EQ(form.ReviewListView1.Count(), 3u);
  server.ClearFaults();
  form.Screening.ReviewLimits.KeepAlive = 4min;
  TickOnly("1");
  form.Button1Click();
  Fetched next = FetchAll();
  EXPECT_EQ(MessageLines(next.List), 2);
  EXPECT_EQ(server.CountCommands("DELE 1"), 1u);
  EXPECT_EQ(server.Mailbox().size(), 2u);
}

}  // namespace
}  // namespace qb::test
