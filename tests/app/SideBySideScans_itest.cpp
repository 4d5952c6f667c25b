// Two accounts at once: their scans run side by side, so a slow server holds
// only its own session, and the whole of a scan is bounded; the window shows
// one review at a time, and a review whose client was answered without it
// stays until the user decides it, also while another waits. A number the
// client was not shown never reaches a server.
#include <gtest/gtest.h>

#include "ScreenedSessionFixture.h"
#include "platform/FileStore.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class SideBySideScans : public ScreenedSessionTest {
 protected:
  void SetUp() override {
    ScreenedSessionTest::SetUp();
    for (int i = 1; i <= 2; ++i) {
      server.AddMessage(Message("Subject: a" + std::to_string(i)));
      other.AddMessage(Message("Subject: b" + std::to_string(i)), "B" + std::to_string(i));
    }
  }
  std::string OtherAccount() const { return "alice#127.0.0.1:" + std::to_string(other.Port()); }
  void Tick(std::int64_t number) {
    for (MessageRow& row : form.ReviewListView1.Rows()) row.Checked = row.Number == number;
  }
  // A client of the first account whose server trickles a byte every 20 s
  // from its LIST on; the LIST's reply, once one came.
  std::unique_ptr<ClientThread> TricklingList(std::optional<std::string>& reply) {
    auto client = std::make_unique<ClientThread>([this, &reply] {
      PlainPop3Client pop(GatewayPort());
      if (!LogIn(pop)) return;
      server.SetTrickle(1, 20s);
      reply = pop.MultiLineCommand("LIST", 60s);
    });
    EXPECT_TRUE(PumpUntil([&] { return server.CountCommands("LIST") > 0; }, 10s));
    return client;
  }

  ScriptedPop3Server other;
};

// The second account's STAT is answered at the end of its own scan and
// review, while the first account's scan still reads its LIST reply.
TEST_F(SideBySideScans, ATricklingServerHoldsOnlyItsOwnScan) {
  std::optional<std::string> slowList;
  std::unique_ptr<ClientThread> slow = TricklingList(slowList);
  std::string stat;
  ClientThread fast([&] {
    PlainPop3Client pop(GatewayPort());
    if (!pop.LogIn(OtherAccount(), "secret")) return;
    stat = pop.Command("STAT", 20s);
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  EXPECT_EQ(form.ReviewedAccount(), OtherAccount());
  EXPECT_NE(form.StatusBar1Text.find("checking " + Account()), std::string::npos)
      << form.StatusBar1Text;
  Tick(1);
  form.Button1Click();
  ASSERT_TRUE(fast.Finish());
  EXPECT_EQ(stat.substr(0, 6), "+OK 1 ") << stat;
  EXPECT_FALSE(slow->Done()) << "the trickling server's scan goes on";
  EXPECT_FALSE(slowList.has_value());
  form.MailGateway1.Close();
  EXPECT_TRUE(slow->Finish());
}

// However slowly a server answers, the scan ends a little after the hold
// limit: its client is told, and nothing was deleted.
TEST_F(SideBySideScans, AScanThatOutlastsTheHoldEndsWithAnAnswer) {
  form.Screening.ReviewLimits.Hold = 1s;
  form.Screening.ReviewLimits.ScanAfterHold = 1s;
  std::optional<std::string> slowList;
  std::unique_ptr<ClientThread> slow = TricklingList(slowList);
  ASSERT_TRUE(slow->Finish(30s));
  ASSERT_TRUE(slowList.has_value());
  EXPECT_TRUE(slowList->starts_with("-ERR The mail server answers too slowly")) << *slowList;
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
  EXPECT_FALSE(form.Screening.OpenReview().Open);
}

// Both clients are answered at the hold limit; both reviews stay, one shown
// and one waiting, by name. The user switches between them (ticks kept),
// decides both, and each decision is carried out at its account's next
// check.
TEST_F(SideBySideScans, AReviewWhoseClientWasAnsweredStaysWhileAnotherWaits) {
  form.Screening.ReviewLimits.Hold = 1s;
  auto listAndQuit = [this](const std::string& account) {
    PlainPop3Client pop(GatewayPort());
    if (pop.LogIn(account, "secret")) pop.MultiLineCommand("LIST", 20s);
    pop.Command("QUIT");
  };
  ClientThread first([&] { listAndQuit(Account()); });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  ClientThread second([&] { listAndQuit(OtherAccount()); });
  ASSERT_TRUE(first.Finish());
  ASSERT_TRUE(second.Finish());
  ASSERT_TRUE(PumpUntil([&] { return !form.WaitingReviews().empty(); }, 10s));
  EXPECT_EQ(form.ReviewedAccount(), Account());
  EXPECT_EQ(form.WaitingReviews(), std::vector<std::string>{OtherAccount()});
  EXPECT_NE(form.StatusBar1Text.find("waiting: " + OtherAccount()), std::string::npos)
      << form.StatusBar1Text;

  Tick(1);
  ASSERT_TRUE(form.ShowWaitingReview(0));
  EXPECT_EQ(form.ReviewedAccount(), OtherAccount());
  EXPECT_EQ(form.WaitingReviews(), std::vector<std::string>{Account()});
  ASSERT_EQ(form.ReviewListView1.Count(), 2u);
  EXPECT_NE(form.ReviewListView1[0].Subject.find('b'), std::string::npos);
  Tick(2);
  EXPECT_FALSE(form.ShowWaitingReview(1)) << "past the line";
  form.Button1Click();
  EXPECT_EQ(form.ReviewedAccount(), Account()) << "the waiting review comes back, ticks kept";
  EXPECT_TRUE(form.Controls.Button1Enabled);
  EXPECT_TRUE(form.WaitingReviews().empty());
  ASSERT_EQ(form.ReviewListView1.Count(), 2u);
  for (const MessageRow& row : form.ReviewListView1.Rows()) EXPECT_EQ(row.Checked, row.Number == 1);
  form.Button1Click();
  EXPECT_FALSE(form.Screening.OpenReview().Open);

  ClientThread nextFirst([&] { listAndQuit(Account()); });
  ClientThread nextSecond([&] { listAndQuit(OtherAccount()); });
  ASSERT_TRUE(nextFirst.Finish());
  ASSERT_TRUE(nextSecond.Finish());
  EXPECT_EQ(server.CountCommands("DELE 1"), 1u);
  EXPECT_EQ(other.CountCommands("DELE 2"), 1u);
  EXPECT_EQ(server.CountCommands("DELE") + other.CountCommands("DELE"), 2u);
}

// After a removal the client sees messages 1 to 2 of three: a command that
// names another number is answered by the gateway, and no server ever sees
// a message 0.
TEST_F(SideBySideScans, NumbersPastTheShownListAreAnsweredByTheGateway) {
  server.AddMessage(Message("Subject: a3"));
  std::vector<std::string> replies;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    pop.MultiLineCommand("LIST", 20s);
    for (const char* line : {"RETR 3", "TOP 3 0", "DELE 3", "LIST 3", "UIDL 9", "RETR 0"}) {
      replies.push_back(pop.Command(line));
    }
    replies.push_back(pop.Command("LIST 2"));
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  Tick(1);
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  ASSERT_EQ(replies.size(), 7u);
  for (std::size_t k = 0; k + 1 < replies.size(); ++k) {
    EXPECT_EQ(replies[k], "-ERR no such message\r\n") << k;
  }
  EXPECT_TRUE(replies.back().starts_with("+OK 2 ")) << replies.back();
  EXPECT_EQ(server.CountCommands("LIST 3"), 1u) << "the client's 2 is the server's 3";
  for (const char* never : {"RETR 0", "TOP 0", "DELE 0", "DELE 3", "UIDL 0", "LIST 0"}) {
    EXPECT_EQ(server.CountCommands(never), 0u) << never;
  }
}

}  // namespace
}  // namespace qb::test
