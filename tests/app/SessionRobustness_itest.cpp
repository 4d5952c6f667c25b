// The screened session as real mail clients use it: several sessions at
// once, pipelined commands, a client's own TOP, servers that close, list
// and reply shapes that are unusual but legal, and header texts with line
// breaks.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <filesystem>

#include "ScreenedSessionFixture.h"
#include "platform/FileStore.h"
#include "screening/ListFile.h"
#include "support/LoopbackSockets.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class SessionRobustness : public ScreenedSessionTest {
 protected:
  void Messages(int count) {
    for (int i = 1; i <= count; ++i) {
      server.AddMessage(Message("From: m" + std::to_string(i) + "@example.org\r\nSubject: s" +
                                std::to_string(i)));
    }
  }
  std::vector<std::string> RowNumbers() {
    std::vector<std::string> numbers;
    for (const MessageRow& row : form.ReviewListView1.Rows())
      numbers.push_back(std::to_string(row.Number));
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  }
  void Tick(const std::string& number) {
    for (MessageRow& row : form.ReviewListView1.Rows())
      row.Checked = std::to_string(row.Number) == number;
  }
};

// Two accounts on two servers check at the same time: the second scan runs
// while the first review is shown, its review waits for the first, and each
// session gets its own list, its own removals and its own marker file.
TEST_F(SessionRobustness, TwoAccountsAtOnceAreScannedSideBySideAndReviewedInTurn) {
  Messages(3);
  ScriptedPop3Server other;
  for (int i = 1; i <= 2; ++i)
    other.AddMessage(Message("Subject: other " + std::to_string(i)), "B" + std::to_string(i));
  std::string otherAccount = "alice#127.0.0.1:" + std::to_string(other.Port());
  std::optional<std::string> firstList, secondList;
  std::atomic<bool> secondAsked{false};
  ClientThread first([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    firstList = pop.MultiLineCommand("LIST", 20s);
    pop.MultiLineCommand("RETR 1");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  ClientThread second([&] {
    PlainPop3Client pop(GatewayPort());
    if (!pop.LogIn(otherAccount, "secret")) return;
    secondAsked = true;
    secondList = pop.MultiLineCommand("LIST", 20s);
    pop.MultiLineCommand("RETR 1");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil(
      [&] {
        return secondAsked &&
               form.StatusBar1Text.find("waiting: " + otherAccount) != std::string::npos;
      },
      10s))
      << form.StatusBar1Text;
  EXPECT_EQ(other.CountCommands("TOP"), 2u) << "the second scan ran during the first review";
  EXPECT_EQ(RowNumbers(), (std::vector<std::string>{"1", "2", "3"}));
  Tick("2");
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return form.ReviewedAccount() == otherAccount; }, 10s))
      << "the second review is shown once the first is carried out";
  EXPECT_TRUE(ScanReady());
  EXPECT_EQ(RowNumbers(), (std::vector<std::string>{"1", "2"}));
  Tick("2");
  form.Button1Click();
  ASSERT_TRUE(first.Finish());
  ASSERT_TRUE(second.Finish());
  EXPECT_EQ(MessageLines(firstList), 2);
  EXPECT_EQ(MessageLines(secondList), 1) << "each client gets its own listing";
  EXPECT_EQ(server.CountCommands("DELE 2"), 1u);
  EXPECT_EQ(other.CountCommands("DELE 2"), 1u);
  EXPECT_EQ(ReadWholeFile(MarkerFile()), "QB000001\r\n");
  EXPECT_EQ(ReadWholeFile(form.State.ProgramFolder + MakeUidFileStem(otherAccount) + ".UID"),
            "B1\r\n");
}

// Commands sent before their predecessors' replies (in one packet, or
// while the LIST reply is held) wait in order, and every reply reaches
// the client framed and in the order of its commands.
TEST_F(SessionRobustness, PipelinedCommandsWaitForTheReplyBeforeThem) {
  Messages(3);
  std::optional<std::string> list, retr2, noop, stat, top, quit;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    pop.Send("LIST\r\nRETR 2\r\n");
    list = pop.ReadMultiLine(20s);
    retr2 = pop.ReadMultiLine();
    pop.Send("NOOP\r\nSTAT\r\nTOP 1 0\r\nQUIT\r\n");
    noop = pop.ReadLine();
    stat = pop.ReadLine();
    top = pop.ReadMultiLine();
    quit = pop.ReadLine();
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  EXPECT_EQ(server.CountCommands("RETR"), 0u) << "RETR 2 waits for the LIST reply";
  Tick("2");
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(MessageLines(list), 2);
  EXPECT_NE(retr2.value_or("").find("Subject: s3"), std::string::npos)
      << "the client's message 2 is the server's message 3 once 2 is removed";
  EXPECT_TRUE(noop && noop->starts_with("+OK"));
  EXPECT_TRUE(stat && stat->starts_with("+OK"));
  ASSERT_TRUE(top.has_value()) << "the client's own TOP is answered";
  EXPECT_NE(top->find("Subject: s1\r\n"), std::string::npos);
  EXPECT_TRUE(top->ends_with("\r\n.\r\n"));
  EXPECT_TRUE(quit && quit->starts_with("+OK"));
}

TEST_F(SessionRobustness, AServerThatEndsTheSessionDuringTheReviewEndsTheClientsToo) {
  Messages(2);
  std::optional<std::string> list, rest;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 20s);
    rest = pop.ReadUntilClosed();
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  server.Stop();
  ASSERT_TRUE(client.Finish());
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->starts_with("-ERR")) << *list;
  EXPECT_EQ(rest, "") << "then the connection closes";
}

// Listings that real servers send: a UIDL longer or shorter than the LIST,
// UIDL lines in another order, a refused TOP, and gaps after a DELE in the
// same session. The held LIST is always released, rows carry the number of
// their LIST line and the UID of that number.
TEST_F(SessionRobustness, UnusualListingsStillGiveTheRightRowsAndAReleasedList) {
  struct Case {
    const char* Name;
    std::function<void(ScriptedPop3Server&)> Fault;
    std::string Marker;
    bool DeleteFirst;
    std::vector<std::string> Rows;
    std::vector<std::string> Uids;
  } cases[] = {
      {"UIDL longer than LIST",
       [](ScriptedPop3Server& s) {
         s.FailCommand("UIDL", "+OK\r\n1 QB000001\r\n2 QB000002\r\n3 QB000003\r\n4 EXTRA\r\n.");
       },
       "",
       false,
       {"1", "2", "3"},
       {"QB000001", "QB000002", "QB000003"}},
      {"UIDL empty",
       [](ScriptedPop3Server& s) { s.FailCommand("UIDL", "+OK\r\n."); },
       "",
       false,
       {"1", "2", "3"},
       {"0", "0", "0"}},
      {"UIDL out of order",
       [](ScriptedPop3Server& s) {
         s.FailCommand("UIDL", "+OK\r\n3 QB000003\r\n1 QB000001\r\n2 QB000002\r\n.");
       },
       "QB000002",
       false,
       {"3"},
       {"QB000003"}},
      {"a refused TOP",
       [](ScriptedPop3Server& s) { s.FailCommand("TOP 2"); },
       "",
       false,
       {"1", "3"},
       {"QB000001", "QB000003"}},
      {"gaps after a DELE",
       [](ScriptedPop3Server&) {},
       "",
       true,
       {"2", "3"},
       {"QB000002", "QB000003"}},
  };
  Messages(3);
  for (const Case& each : cases) {
    SCOPED_TRACE(each.Name);
    server.ClearFaults();
    server.ClearCommands();
    each.Fault(server);
    ASSERT_TRUE(WriteFileAtomically(MarkerFile(), each.Marker + "\r\n"));
    std::filesystem::remove(DecisionsPath());  // each case decides anew
    std::optional<std::string> list;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (!LogIn(pop)) return;
      if (each.DeleteFirst) pop.Command("DELE 1");
      list = pop.MultiLineCommand("LIST", 20s);
      pop.Command("RSET");
      pop.Command("QUIT");
    });
    ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
    EXPECT_EQ(RowNumbers(), each.Rows);
    std::vector<std::string> uids;
    for (const std::string& number : RowNumbers()) {
      for (const MessageRow& row : form.ReviewListView1.Rows()) {
        if (std::to_string(row.Number) == number) uids.push_back(row.Uid);
      }
    }
    EXPECT_EQ(uids, each.Uids);
    form.Button1Click();
    ASSERT_TRUE(client.Finish());
    EXPECT_TRUE(list && list->starts_with("+OK"));
    if (each.DeleteFirst) {
      EXPECT_EQ(server.CountCommands("TOP 1"), 0u);
    }
  }
}

// A header larger than what the scan keeps of a TOP reply is cut, but the
// reply is read to its end: none of its bytes reach the client as the reply
// to a later command, and the session stays in step.
TEST_F(SessionRobustness, AnOversizedHeaderIsCutAndTheSessionStaysInStep) {
  Messages(1);
  const std::string big =
      "Subject: big\r\nX-Padding: " + std::string(20000, 'x') + "\r\n\r\nBody\r\n";
  server.AddMessage(big);
  form.Screening.ReplyLimits.MaxBytes = 4096;
  std::optional<std::string> list, noop, retr;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 20s);
    noop = pop.Command("NOOP");
    retr = pop.MultiLineCommand("RETR 2");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  ASSERT_EQ(RowNumbers(), (std::vector<std::string>{"1", "2"}));
  for (const MessageRow& row : form.ReviewListView1.Rows()) {
    if (row.Number == 2) {
      EXPECT_EQ(row.Subject, "big");
    }
  }
  Tick("none");
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(MessageLines(list), 2);
  EXPECT_EQ(noop.value_or("").substr(0, 3), "+OK");
  EXPECT_EQ(retr, "+OK " + std::to_string(big.size()) + " octets\r\n" + big + ".\r\n");
}

// An encoded word can carry CR LF into a subject; the row holds none, so
// blocking that subject writes one entry and not a second one ("R") that
// would tick every "Re: ..." message.
TEST_F(SessionRobustness, ALineBreakInADecodedSubjectNeverReachesABlockList) {
  server.AddMessage(Message("Subject: =?utf-8?Q?Cheap_pills=0D=0AR?="));
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) pop.MultiLineCommand("LIST", 20s);
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  EXPECT_EQ(form.ReviewListView1[0].Subject, "Cheap pillsR");
  form.PopupMenu2Popup({}, 0);
  form.Block1Click();
  EXPECT_EQ(ReadListFile(form.State.ProgramFolder + "sublist.txt"), (TextLines{"Cheap pillsR"}));
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
}

TEST_F(SessionRobustness, ADeletionTheServerRefusesLeavesTheMessageListed) {
  Messages(2);
  server.FailCommand("DELE 2");
  std::optional<std::string> list;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) list = pop.MultiLineCommand("LIST", 20s);
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  for (MessageRow& row : form.ReviewListView1.Rows()) row.Checked = true;
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(MessageLines(list), 1) << "the message whose deletion was refused stays";
  EXPECT_NE(form.StatusBar1Text.find("1 of the checked messages"), std::string::npos)
      << form.StatusBar1Text;
}

// Before the server has greeted, a second USER opens no second connection;
// the lines wait and are answered in order once the login is through.
TEST_F(SessionRobustness, LinesBeforeTheGreetingWaitAndOpenNoSecondConnection) {
  server.SetReplyDelay(200ms);
  std::optional<std::string> user, again, pass;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    pop.ReadLine();
    pop.Send("USER " + Account() + "\r\nUSER " + Account() + "\r\nPASS secret\r\n");
    user = pop.ReadLine();
    again = pop.ReadLine();
    pass = pop.ReadLine();
  });
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(server.SessionsAccepted(), 1u);
  EXPECT_TRUE(user && user->starts_with("+OK"));
  EXPECT_TRUE(again.has_value()) << "the second USER is answered too";
  EXPECT_TRUE(pass.has_value());
}

// A greeting that is no "+OK" ends the session with a reason; the login
// line is never sent to such a server.
TEST_F(SessionRobustness, AServerThatDoesNotGreetWithOkIsNotGivenTheLogin) {
  std::uint16_t port = 0;
  UniqueFd listener = ListenOnLoopback(port);
  std::string received;
  std::thread fake([&] {
    UniqueFd peer(accept(listener.Get(), nullptr, nullptr));
    std::string greeting = "-ERR go away\r\n";
    send(peer.Get(), greeting.data(), greeting.size(), MSG_NOSIGNAL);
    char buffer[256];
    ssize_t n;
    while ((n = recv(peer.Get(), buffer, sizeof buffer, 0)) > 0) received.append(buffer, n);
  });
  std::optional<std::string> reply, rest;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    pop.ReadLine();
    reply = pop.Command("USER alice#127.0.0.1:" + std::to_string(port));
    rest = pop.ReadUntilClosed();
  });
  ASSERT_TRUE(client.Finish());
  fake.join();
  EXPECT_EQ(reply, "-ERR The mail server did not greet: -ERR go away\r\n");
  EXPECT_EQ(rest, "");
  EXPECT_EQ(received, "") << "no login line for a server that did not greet";
}

// A server that trickles its replies holds up only its own session: while
// its scan crawls, another client is greeted and served at once.
TEST_F(SessionRobustness, ATricklingServerHoldsUpNoOtherSession) {
  Messages(3);
  server.SetTrickle(1, 15ms);
  ScriptedPop3Server quick({Message("Subject: quick")});
  std::atomic<bool> otherServed{false};
  ClientThread slow([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) pop.MultiLineCommand("LIST", 60s);
  });
  ASSERT_TRUE(PumpUntil([&] { return server.CountCommands("TOP") > 0; }, 20s));
  ClientThread other([&] {
    PlainPop3Client pop(GatewayPort());
    otherServed =
        pop.LogIn("alice#127.0.0.1:" + std::to_string(quick.Port()), "secret") &&
        pop.MultiLineCommand("RETR 1").value_or("").find("Subject: quick") != std::string::npos;
  });
  ASSERT_TRUE(other.Finish(20s));
  EXPECT_TRUE(otherServed);
  EXPECT_FALSE(ScanReady()) << "the other client was served while the scan went on";
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 60s));
  form.Button1Click();
  ASSERT_TRUE(slow.Finish(20s));
}

// A greeting without a line end is no greeting: the client gets a reason
// once the greeting outgrows its limit, and nobody else waits meanwhile.
TEST_F(SessionRobustness, AnEndlessGreetingEndsThatSessionOnly) {
  std::uint16_t port = 0;
  UniqueFd listener = ListenOnLoopback(port);
  std::atomic<bool> stop{false};
  std::thread endless([&] {
    UniqueFd peer(accept(listener.Get(), nullptr, nullptr));
    std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 128 && !stop; ++i) {
      if (send(peer.Get(), chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) break;
    }
  });
  std::optional<std::string> reply;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    pop.ReadLine();
    reply = pop.Command("USER alice#127.0.0.1:" + std::to_string(port), 20s);
  });
  std::optional<std::string> banner;
  ClientThread other([&] { banner = PlainPop3Client(GatewayPort()).ReadLine(); });
  ASSERT_TRUE(other.Finish());
  ASSERT_TRUE(client.Finish(30s));
  stop = true;
  endless.join();
  EXPECT_EQ(banner, "+OK POP3 Gateway ready\r\n");
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->starts_with("-ERR The mail server did not greet")) << reply->substr(0, 200);
}

}  // namespace
}  // namespace qb::test
