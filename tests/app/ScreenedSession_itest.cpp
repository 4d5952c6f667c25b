#include <gtest/gtest.h>

#include <algorithm>

#include "ScreenedSessionFixture.h"
#include "platform/FileStore.h"
#include "screening/TopReply.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class ScreenedSession : public ScreenedSessionTest {
 protected:
  void ThreeMessages() {
    server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
    server.AddMessage(
        Message("From: Bob Example <bob@example.org>\r\nSubject: second\r\n"
                "To: Alice <alice@example.org>"));
    server.AddMessage(Message("From: three@example.org\r\nSubject: =?iso-8859-1?Q?Caf=E9?="));
  }
  std::vector<std::string> RowNumbers() {
    std::vector<std::string> numbers;
    for (const MessageRow& row : form.ReviewListView1.Rows())
      numbers.push_back(std::to_string(row.Number));
    return numbers;
  }
  MessageRow* Row(const std::string& number) {
    for (MessageRow& row : form.ReviewListView1.Rows()) {
      if (std::to_string(row.Number) == number) return &row;
    }
    return nullptr;
  }
};

TEST_F(ScreenedSession, ScansTheNewMessagesAndRemovesTheTickedOneBeforeTheClientSeesTheList) {
  ThreeMessages();
  ASSERT_TRUE(WriteFileAtomically(MarkerFile(), "QB000001\r\n"));
  std::optional<std::string> list, retr2;
  std::string retr3, quit;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 10s);
    retr2 = pop.MultiLineCommand("RETR 2");
    retr3 = pop.Command("RETR 3");  // a number the client was not shown
    quit = pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  EXPECT_FALSE(form.Controls.pnlIlkGorunumVisible);
  EXPECT_TRUE(form.Controls.Panel1Visible);
  EXPECT_EQ(form.Controls.lblAccountCaption, "Current account:" + MakeUidFileStem(Account()));
  EXPECT_EQ(RowNumbers(), (std::vector<std::string>{"2", "3"})) << "message 1 was retrieved before";
  MessageRow* second = Row("2");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->From, "bob@example.org");
  EXPECT_EQ(second->To, "alice@example.org");
  EXPECT_EQ(second->Uid, "QB000002");
  EXPECT_EQ(Row("3")->Subject, "Caf\xE9");
  ASSERT_EQ(popup.shown.size(), 1u);
  EXPECT_EQ(popup.shown[0].Text, kListReadyText);
  EXPECT_EQ(popup.shown[0].GradientColor2, "$02A0A0FA");
  EXPECT_EQ(tray.calls, (std::vector<std::string>{"show"}));
  EXPECT_FALSE(list.has_value()) << "the LIST reply is held back until Remove Checked";

  Row("3")->Checked = true;
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->starts_with("+OK")) << *list;
  EXPECT_EQ(MessageLines(list), 2) << "a removed message is not listed";
  ASSERT_TRUE(retr2.has_value());
  EXPECT_NE(retr2->find("Subject: second"), std::string::npos);
  EXPECT_TRUE(retr3.starts_with("-ERR")) << retr3;
  EXPECT_TRUE(quit.starts_with("+OK"));
  EXPECT_EQ(ReadWholeFile(MarkerFile()), "QB000002\r\n");
  std::vector<std::string> commands = server.Commands();
  auto dele3 = std::find(commands.begin(), commands.end(), "DELE 3");
  EXPECT_LT(dele3, std::find(commands.begin(), commands.end(), "RETR 2"))
      << "deleted before the client got its list";
  EXPECT_EQ(server.CountCommands("RETR 3"), 1u) << "only the copy before the deletion";
  EXPECT_LT(std::find(commands.begin(), commands.end(), "RETR 3"), dele3);
  EXPECT_EQ(server.CountCommands("TOP 1"), 0u);
  EXPECT_EQ(server.Mailbox().size(), 2u);
  EXPECT_TRUE(form.ReviewListView1.Empty()) << "QUIT empties the review list";
  EXPECT_FALSE(form.Controls.Button1Enabled);
  EXPECT_EQ(popup.closeAllCalls, 1);
}

TEST_F(ScreenedSession, ListsAreReleasedAtOnceWhenNothingIsNew) {
  for (bool emptyMailbox : {true, false}) {
    if (!emptyMailbox) {
      ThreeMessages();
      ASSERT_TRUE(WriteFileAtomically(MarkerFile(), "QB000003\r\n"));
    }
    std::optional<std::string> list;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (LogIn(pop)) list = pop.MultiLineCommand("LIST", 10s);
      pop.Command("QUIT");
    });
    ASSERT_TRUE(client.Finish());
    ASSERT_TRUE(list.has_value());
    EXPECT_TRUE(list->starts_with("+OK"));
    EXPECT_TRUE(form.ReviewListView1.Empty());
    EXPECT_TRUE(popup.shown.empty());
    EXPECT_EQ(server.CountCommands("TOP"), 0u);
  }
}

TEST_F(ScreenedSession, AMarkerNoLongerOnTheServerScansEveryMessage) {
  ThreeMessages();
  ASSERT_TRUE(WriteFileAtomically(MarkerFile(), "GONE\r\n"));
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) pop.MultiLineCommand("LIST", 10s);
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  EXPECT_EQ(RowNumbers().size(), 3u);
  EXPECT_EQ(server.CountCommands("TOP 1 " + std::to_string(kScanBodyLines)), 1u);
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
}

// Keywords ignore case and message numbers compare as numbers: a lower-case
// login gets its own marker, "list" starts a scan, "retr 03" of a message
// ticked after the review is removed, and a lower-case RETR of another
// records the marker.
TEST_F(ScreenedSession, CommandsAreMatchedWithoutRegardToCaseOrLeadingZeros) {
  for (int i = 1; i <= 3; ++i) server.AddMessage(Message("Subject: m" + std::to_string(i)));
  std::string retr3;
  std::optional<std::string> list, retr1;
  std::atomic<bool> listed{false};
  Gate go;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!pop.ReadLine() || !pop.Command("user " + Account()).starts_with("+OK")) return;
    pop.Command("pass secret");
    list = pop.MultiLineCommand("list", 10s);
    listed = true;
    go.Wait();
    retr3 = pop.Command("retr 03");
    retr1 = pop.MultiLineCommand("Retr 1");
    pop.Command("quit");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return listed.load(); }, 10s));
  Row("3")->Checked = true;
  go.Open();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(MessageLines(list), 3);
  EXPECT_EQ(retr3, "-ERR\r\n");
  EXPECT_EQ(server.CountCommands("DELE 3"), 1u);
  EXPECT_NE(retr1.value_or("").find("Subject: m1"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(MarkerFile()), "QB000001\r\n") << "a lower-case login has its own marker";
}

// Unticking after "Remove Checked" brings nothing back (it is deleted
// already); a row ticked afterwards is still removed when its message is
// asked for.
TEST_F(ScreenedSession, ARowTickedAfterRemoveCheckedIsDeletedWhenTheClientAsksForIt) {
  ThreeMessages();
  std::string retr1;
  std::atomic<bool> listed{false};
  Gate go;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    pop.MultiLineCommand("LIST", 10s);
    listed = true;
    go.Wait();
    retr1 = pop.Command("RETR 1");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return listed.load(); }, 10s));
  Row("1")->Checked = true;
  go.Open();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(retr1, "-ERR\r\n");
  EXPECT_EQ(server.CountCommands("DELE 1"), 1u);
  EXPECT_EQ(server.Mailbox().size(), 2u);
}

TEST_F(ScreenedSession, ASecondLoginOverwritesTheAccountText) {
  ClientThread first([&] {
    PlainPop3Client pop(GatewayPort());
    LogIn(pop);
  });
  ASSERT_TRUE(first.Finish());
  EXPECT_EQ(form.State.AccountText, Account() + "\r\n");
  ClientThread second([&] {
    PlainPop3Client pop(GatewayPort());
    pop.ReadLine();
    pop.Command("USER bob#127.0.0.1:" + std::to_string(server.Port()));
  });
  ASSERT_TRUE(second.Finish());
  EXPECT_EQ(form.State.AccountText, "bob#127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
}

TEST_F(ScreenedSession, AServerThatClosesInTheMiddleOfAHeaderCancelsTheScan) {
  ThreeMessages();
  server.CloseDuringReply("TOP 2", 10);
  std::optional<std::string> list;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) list = pop.MultiLineCommand("LIST", 10s);
  });
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value()) << "the client is not left waiting";
  EXPECT_EQ(*list, "-ERR\r\n");
  EXPECT_TRUE(form.ReviewListView1.Empty());
  EXPECT_TRUE(form.State.ScanCancelled);
  EXPECT_EQ(form.Controls.ProgressBar1.Max, 0);
  ASSERT_TRUE(PumpUntil([&] { return !dialogs.MessageTexts().empty(); }, 5s));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{kListingCanceledText}));
  EXPECT_FALSE(form.Controls.Button1Enabled);
}

TEST_F(ScreenedSession, AServerThatTricklesEveryReplyByteByByteStillGetsScanned) {
  ThreeMessages();
  server.SetTrickle(1, 0ms);
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) pop.MultiLineCommand("LIST", 20s);
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 20s));
  EXPECT_EQ(RowNumbers().size(), 3u);
  EXPECT_EQ(Row("2")->From, "bob@example.org");
  form.Button1Click();
  ASSERT_TRUE(client.Finish(20s));
}

TEST_F(ScreenedSession, ListingsThatNeverCompleteEndTheScanWithAnAnswer) {
  ThreeMessages();
  server.FailCommand("UIDL", "-ERR no unique ids here");
  std::optional<std::string> list, listOne;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 10s);
    listOne = pop.Command("LIST 1");
  });
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(*list, "-ERR no unique ids here\r\n") << "the server's error is relayed";
  EXPECT_TRUE(listOne.has_value() && listOne->starts_with("+OK 1 ")) << "LIST n is relayed";
  EXPECT_TRUE(form.ReviewListView1.Empty());
}

TEST_F(ScreenedSession, ASilentServerEndsTheScanAfterTheSilenceLimit) {
  ThreeMessages();
  form.Screening.ReplyLimits.Silence = 200ms;
  server.CloseDuringReply("TOP 1", 20);  // closes: but first make the server silent instead
  server.ClearFaults();
  server.SetReplyDelay(0ms);
  server.FailCommand("TOP 1", "+OK but the rest never comes");
  std::optional<std::string> list;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) list = pop.MultiLineCommand("LIST", 10s);
  });
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(*list, "-ERR\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !dialogs.MessageTexts().empty(); }, 5s));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{kListingCanceledText}));
}

TEST_F(ScreenedSession, OnlyTheSessionThatFilledTheListHasItsRetrievalsTurnedIntoDeletions) {
  ThreeMessages();
  std::string other;
  std::atomic<bool> listed{false};
  ClientThread reviewed([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    pop.MultiLineCommand("LIST", 10s);
    listed = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  for (MessageRow& row : form.ReviewListView1.Rows()) row.Checked = true;
  form.Button1Click();
  ASSERT_TRUE(reviewed.Finish());
  ClientThread second([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    other = pop.Command("RETR 2");
  });
  ASSERT_TRUE(second.Finish());
  EXPECT_TRUE(other.starts_with("+OK")) << "another session's RETR 2 is a plain retrieval";
  EXPECT_EQ(server.CountCommands("DELE"), 3u) << "only the removals of the reviewed session";
}

TEST_F(ScreenedSession, RemoveCheckedSendsNothingToASessionThatHasClosed) {
  ThreeMessages();
  ASSERT_TRUE(ListAndLeaveBeforeTheDecision());
  ASSERT_TRUE(PumpUntil([&] { return form.Screening.ReviewClient.Get() == nullptr; }, 5s));
  form.Button1Click();
  EXPECT_FALSE(form.Controls.Button1Enabled);
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
}

}  // namespace
}  // namespace qb::test
