#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ScreenedSessionFixture.h"
#include "platform/FileStore.h"
#include "screening/RemovedMail.h"
#include "screening/RestoredMail.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

// A message whose bytes a careless copy would change: a dot-stuffed line,
// a lone "." inside a line, trailing blanks, bytes above 127.
const std::string kTricky =
    "From: spam@example.org\r\nSubject: offer\r\n\r\n.hidden line\r\n..two dots\r\n"
    "a . b  \r\n\xE9t\xE9\r\n";

class RemovedMail : public ScreenedSessionTest {
 protected:
  std::string RemovedFolder() const { return form.State.ProgramFolder + kRemovedFolder; }
  std::vector<std::filesystem::path> Copies() const {
    std::vector<std::filesystem::path> copies;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(RemovedFolder(), error)) {
      if (entry.is_regular_file()) copies.push_back(entry.path());
    }
    return copies;
  }
  TextLines LogLines() const {
    return ParseListText(ReadWholeFile(form.State.ProgramFolder + kRemovedLogFile).value_or(""));
  }
  static std::string Field(const std::string& line, int k) { return SplitField(line, '\t', k); }

  // A client lists, waits for the review, retrieves every message it is
  // shown and quits; the test ticks rows with `tick` and presses the button.
  struct Session {
    std::optional<std::string> List;
    std::vector<std::string> Retrieved;
  };
  Session Review(const std::function<void()>& tick) {
    Session seen;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (!LogIn(pop)) return;
      seen.List = pop.MultiLineCommand("LIST", 10s);
      for (int n = 1; n <= MessageLines(seen.List); ++n) {
        seen.Retrieved.push_back(pop.MultiLineCommand("RETR " + std::to_string(n)).value_or(""));
      }
      pop.Command("QUIT");
    });
    EXPECT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
    tick();
    form.Button1Click();
    EXPECT_TRUE(client.Finish());
    MessageLoop::Instance().ProcessMessages();  // posted message boxes
    return seen;
  }
  void TickFrom(const std::string& from) {
    for (std::size_t i = 0; i < form.ReviewListView1.Count(); ++i) {
      if (form.ReviewListView1[i].From == from) form.SetRowChecked(i, true);
    }
  }
};

TEST_F(RemovedMail, TheCopyIsTheServersMessageByteForByteAndIsWrittenBeforeTheDele) {
  server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
  server.AddMessage(kTricky);
  form.State.SenderList = {"spam@"};
  Session seen = Review([] {});
  EXPECT_EQ(MessageLines(seen.List), 1);
  ASSERT_EQ(server.Mailbox().size(), 1u);
  std::vector<std::filesystem::path> copies = Copies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadWholeFile(copies[0].string()), kTricky);
  std::string name = copies[0].filename().string();
  EXPECT_NE(name.find("-alice_127_0_0_1_" + std::to_string(server.Port()) + "~"), std::string::npos)
      << name;
  EXPECT_TRUE(name.ends_with("-QB000002.eml")) << name;
  std::vector<std::string> commands = server.Commands();
  auto retr = std::find(commands.begin(), commands.end(), "RETR 2");
  auto dele = std::find(commands.begin(), commands.end(), "DELE 2");
  ASSERT_NE(dele, commands.end());
  EXPECT_LT(retr, dele);
  ASSERT_EQ(LogLines().size(), 1u);
  EXPECT_EQ(Field(LogLines()[0], 8), copies[0].filename().string());
}

// A review's copies are all written and synced before its first DELE, each
// under a name of its own (two share time and account), readable by the
// user alone in a folder of the user alone.
TEST_F(RemovedMail, EveryCopyOfAReviewIsOnDiskBeforeItsFirstDele) {
  for (int n = 0; n < 3; ++n) server.AddMessage(kTricky, "SAME");
  server.AddMessage(Message("From: one@example.org\r\nSubject: kept"));
  form.State.SenderList = {"spam@"};
  Session seen = Review([] {});
  EXPECT_EQ(MessageLines(seen.List), 1);
  std::vector<std::string> commands = server.Commands();
  auto firstDele = std::find_if(commands.begin(), commands.end(),
                                [](const std::string& c) { return c.starts_with("DELE"); });
  ASSERT_NE(firstDele, commands.end());
  for (const char* copy : {"RETR 1", "RETR 2", "RETR 3"}) {
    EXPECT_LT(std::find(commands.begin(), commands.end(), copy), firstDele) << copy;
  }
  std::vector<std::filesystem::path> copies = Copies();
  ASSERT_EQ(copies.size(), 3u);
  for (const auto& copy : copies) {
    EXPECT_EQ(ReadWholeFile(copy.string()), kTricky);
    EXPECT_EQ(std::filesystem::status(copy).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  EXPECT_EQ(std::filesystem::status(RemovedFolder()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  ASSERT_EQ(LogLines().size(), 3u);
  std::set<std::string> named;
  for (const std::string& line : LogLines()) named.insert(Field(line, 8));
  EXPECT_EQ(named.size(), 3u) << "each line names its own copy";
}

// An account of 300 characters and a UID of 10 kB still name their files:
// the ticked message is copied and removed, the client sees the rest.
TEST_F(RemovedMail, ALongAccountAndAHugeUidStillGetTheirCopyAndRemoval) {
  std::string user = "u" + std::string(299, 'x');
  ScriptedPop3Server own;
  own.SetCredentials({user, "secret"});
  own.AddMessage(Message("From: one@example.org\r\nSubject: kept"));
  own.AddMessage(kTricky, std::string(10 * 1024, 'U'));
  form.State.SenderList = {"spam@"};
  std::optional<std::string> list, retr;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!pop.ReadLine() ||
        !pop.Command("USER " + user + "#127.0.0.1:" + std::to_string(own.Port()))
             .starts_with("+OK") ||
        !pop.Command("PASS secret").starts_with("+OK"))
      return;
    list = pop.MultiLineCommand("LIST", 10s);
    retr = pop.MultiLineCommand("RETR 1");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  EXPECT_EQ(MessageLines(list), 1) << list.value_or("(none)");
  EXPECT_NE(retr.value_or("").find("Subject: kept"), std::string::npos);
  EXPECT_EQ(own.Mailbox().size(), 1u);
  ASSERT_EQ(Copies().size(), 1u);
  EXPECT_LE(Copies()[0].filename().string().size(), 255u);
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

// The server never answers the DELE: had the DELE gone out before the copy
// was written, no copy could exist now.
TEST_F(RemovedMail, TheCopyIsOnDiskWhenTheDeleReachesTheServer) {
  server.AddMessage(kTricky);
  server.CloseDuringReply("DELE", 0);
  form.State.SenderList = {"spam@"};
  Review([] {});
  ASSERT_TRUE(server.WaitForCommand("DELE 1", 5s));
  std::vector<std::filesystem::path> copies = Copies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadWholeFile(copies[0].string()), kTricky);
  EXPECT_TRUE(LogLines().empty()) << "the deletion was never confirmed";
}

TEST_F(RemovedMail, AMessageWhoseCopyCannotBeWrittenStaysOnTheServerUnticked) {
  server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
  server.AddMessage(kTricky);
  form.State.SenderList = {"spam@"};
  ASSERT_TRUE(WriteFileAtomically(RemovedFolder().substr(0, RemovedFolder().size() - 1), "x"))
      << "a file where the folder should be";
  Session seen = Review([] {});
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
  EXPECT_EQ(MessageLines(seen.List), 2) << "the kept message is listed";
  ASSERT_EQ(seen.Retrieved.size(), 2u);
  EXPECT_NE(seen.Retrieved[1].find("..two dots"), std::string::npos) << "and downloaded";
  EXPECT_EQ(server.Mailbox().size(), 2u);
  EXPECT_TRUE(LogLines().empty());
  ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
  EXPECT_NE(dialogs.MessageTexts()[0].find("1 checked message of " + Account() + " stayed"),
            std::string::npos)
      << dialogs.MessageTexts()[0];
  EXPECT_NE(form.StatusBar1Text.find("stayed on the server"), std::string::npos);
}

TEST_F(RemovedMail, ARetrievalTickedLateIsCopiedOrElseDelivered) {
  for (bool writable : {true, false}) {
    SCOPED_TRACE(writable ? "copy written" : "copy fails");
    ScriptedPop3Server own({kTricky});
    std::filesystem::remove_all(RemovedFolder());
    if (!writable) {
      ASSERT_TRUE(WriteFileAtomically(form.State.ProgramFolder + "removed", "x"));
    }
    std::optional<std::string> list, retr;
    Gate ticked;
    std::string account = "alice#127.0.0.1:" + std::to_string(own.Port());
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (!pop.ReadLine() || !pop.Command("USER " + account).starts_with("+OK") ||
          !pop.Command("PASS secret").starts_with("+OK"))
        return;
      list = pop.MultiLineCommand("LIST", 10s);
      ticked.Wait();
      retr = writable ? pop.Command("RETR 1") : pop.MultiLineCommand("RETR 1");
      pop.Command("QUIT");
    });
    ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
    form.Button1Click();  // nothing ticked yet: the list goes out whole
    ASSERT_TRUE(PumpUntil([&] { return list.has_value(); }, 5s));
    form.SetRowChecked(0, true);
    ticked.Open();
    ASSERT_TRUE(client.Finish());
    ASSERT_TRUE(retr.has_value());
    if (writable) {
      EXPECT_TRUE(retr->starts_with("-ERR")) << *retr;
      EXPECT_EQ(own.CountCommands("DELE 1"), 1u);
      EXPECT_EQ(own.Mailbox().size(), 0u);
      EXPECT_EQ(Copies().size(), 1u);
      EXPECT_EQ(Field(LogLines().back(), 4), "ticked by hand");
    } else {
      EXPECT_NE(retr->find("..two dots"), std::string::npos) << "the client gets its message";
      EXPECT_EQ(own.CountCommands("DELE"), 0u);
      EXPECT_EQ(own.Mailbox().size(), 1u);
      MessageLoop::Instance().ProcessMessages();
      EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
      std::filesystem::remove(form.State.ProgramFolder + "removed");
    }
  }
}

TEST_F(RemovedMail, AMessageAboveTheCopyLimitIsDeletedWithoutACopyButLogged) {
  server.AddMessage(kTricky);
  form.State.SenderList = {"spam@"};
  form.Screening.RemovedMail.CopyLimitBytes = 20;
  Review([] {});
  EXPECT_EQ(server.CountCommands("RETR"), 0u);
  EXPECT_EQ(server.CountCommands("DELE 1"), 1u);
  EXPECT_TRUE(Copies().empty());
  ASSERT_EQ(LogLines().size(), 1u);
  EXPECT_EQ(Field(LogLines()[0], 8), "no copy");
}

// One line per removal: time, account, UID, size, category, rule, From,
// Subject, copy; the rule is what ticked the row.
TEST_F(RemovedMail, EachCategoryIsLoggedWithTheRuleThatTickedIt) {
  const std::string big(7000, 'x');
  struct Case {
    std::string Message;
    std::string Category;
    std::string Rule;
  };
  const std::vector<Case> cases = {
      {Message("From: a@example.org\r\nSubject: I love you\r\n\r\n" + big), "virus", "I love"},
      {Message("Received: from mx (mx [198.51.100.7])\r\nFrom: b@example.org\r\nSubject: hi"),
       "spam", "198.51.100.7"},
      {Message("From: c@example.org\r\nSubject: Cheap\tpills"), "blocked subject", "Cheap"},
      {Message("From: offers@shop.example\r\nSubject: sale"), "blocked sender", "offers@"},
      {Message("From: d@example.org\r\nTo: list@example.org\r\nSubject: digest"),
       "blocked recipient", "list@"},
      {Message("From: byhand@example.org\r\nSubject: mine"), "ticked by hand", ""},
  };
  for (const Case& c : cases) server.AddMessage(c.Message);
  form.State.VirusList = {"I love"};
  form.State.SubjectList = {"Cheap"};
  form.State.SenderList = {"offers@"};
  form.State.RecipientList = {"list@"};
  form.State.DnsblList = {ZoneResolver::kZone};
  resolver.List("198.51.100.7");
  Session seen = Review([&] { TickFrom("byhand@example.org"); });
  EXPECT_EQ(MessageLines(seen.List), 0);
  TextLines lines = LogLines();
  ASSERT_EQ(lines.size(), cases.size());
  for (const Case& c : cases) {
    auto line = std::find_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return Field(l, 4) == c.Category; });
    ASSERT_NE(line, lines.end()) << c.Category;
    EXPECT_EQ(Field(*line, 1), Account());
    EXPECT_TRUE(Field(*line, 2).starts_with("QB0000"));
    EXPECT_EQ(Field(*line, 5), c.Rule) << c.Category;
    EXPECT_TRUE(Field(*line, 8).ends_with(".eml"));
    EXPECT_EQ(std::count(line->begin(), line->end(), '\t'), 8);
  }
  auto subject = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return Field(l, 4) == "blocked subject";
  });
  EXPECT_EQ(Field(*subject, 7), "Cheap pills") << "a tab in a text becomes a blank";
}

TEST_F(RemovedMail, AFriendsMessageWithABlockedSubjectStaysUnticked) {
  server.AddMessage(Message("From: Pal <pal@friends.example>\r\nSubject: Buy now"));
  server.AddMessage(Message("From: x@shop.example\r\nSubject: Buy now"));
  form.State.SubjectList = {"Buy"};
  form.State.FriendList = {"@friends.example"};
  Session seen = Review([] {});
  EXPECT_EQ(MessageLines(seen.List), 1);
  ASSERT_EQ(server.Mailbox().size(), 1u);
  EXPECT_NE(server.Mailbox()[0].Bytes.find("pal@friends.example"), std::string::npos);
}

// A copy marked for delivery comes after the server's messages, in every
// listing and the count alike, and is retrieved byte for byte; the QUIT
// puts it back into removed/ and the next session no longer lists it.
TEST_F(RemovedMail, ACopyMarkedForDeliveryIsListedAfterTheServersMessagesUntilRetrieved) {
  server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
  server.AddMessage(Message("From: spam@example.org\r\nSubject: offer"));
  server.AddMessage(Message("From: three@example.org\r\nSubject: third"));
  form.State.SenderList = {"spam@"};
  std::string deliver = form.State.ProgramFolder + kDeliverFolder;
  std::string name = RemovedCopyName(std::chrono::system_clock::now() - 1h, Account(), "OLD1");
  ASSERT_TRUE(StoreRemovedCopy(deliver, name, kTricky));
  ASSERT_TRUE(StoreRemovedCopy(deliver, "20261208-101500-bob_h-U1.eml", Message("From: bob")));
  std::optional<std::string> list, uidl, retr, top;
  std::string stat, listOne;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 10s);
    stat = pop.Command("STAT");
    uidl = pop.MultiLineCommand("UIDL");
    listOne = pop.Command("LIST 3");
    top = pop.MultiLineCommand("TOP 3 0");
    retr = pop.MultiLineCommand("RETR 3");
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  form.Button1Click();
  ASSERT_TRUE(client.Finish());
  const std::string size = std::to_string(kTricky.size());
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->ends_with("\r\n2 " + std::to_string(server.Mailbox()[1].Bytes.size()) +
                              "\r\n3 " + size + "\r\n.\r\n"))
      << *list;
  EXPECT_TRUE(stat.starts_with("+OK 3 ")) << stat;
  ASSERT_TRUE(uidl.has_value());
  EXPECT_NE(uidl->find("\r\n3 QBR"), std::string::npos) << *uidl;
  EXPECT_EQ(listOne, "+OK 3 " + size + "\r\n");
  ASSERT_TRUE(top.has_value());
  EXPECT_TRUE(top->ends_with("Subject: offer\r\n\r\n.\r\n")) << *top;
  ASSERT_TRUE(retr.has_value());
  EXPECT_EQ(MessageOfRetrReply(*retr), kTricky);
  EXPECT_EQ(server.CountCommands("RETR 3"), 0u) << "the server's third is the client's second";
  EXPECT_EQ(server.Mailbox().size(), 2u);
  EXPECT_EQ(ReadWholeFile(RemovedFolder() + name), kTricky) << "back in removed/";
  EXPECT_FALSE(std::filesystem::exists(deliver + name));
  EXPECT_TRUE(std::filesystem::exists(deliver + "20261208-101500-bob_h-U1.eml"));
  TextLines lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Field(lines[1], 4), kDeliveredAgain);
  EXPECT_EQ(Field(lines[1], 6), "spam@example.org");
  EXPECT_EQ(Field(lines[1], 8), name);

  std::string again;
  ClientThread next([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) again = pop.Command("STAT", 10s);
    pop.Command("QUIT");
  });
  ASSERT_TRUE(next.Finish());
  EXPECT_TRUE(again.starts_with("+OK 2 ")) << again;
}

// A DELE ends the delivery without a retrieval; RSET takes the DELE back.
TEST_F(RemovedMail, TheClientsDeleEndsADeliveryAndRsetTakesItBack) {
  server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
  std::string deliver = form.State.ProgramFolder + kDeliverFolder;
  std::string name = RemovedCopyName(std::chrono::system_clock::now(), Account(), "OLD1");
  ASSERT_TRUE(StoreRemovedCopy(deliver, name, kTricky));
  for (bool reset : {true, false}) {
    SCOPED_TRACE(reset ? "DELE, RSET" : "DELE");
    std::string dele, stat;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (!LogIn(pop)) return;
      pop.MultiLineCommand("UIDL", 10s);
      dele = pop.Command("DELE 2");
      if (reset) pop.Command("RSET");
      stat = pop.Command("STAT");
      pop.Command("QUIT");
    });
    ASSERT_TRUE(PumpUntil([&] { return ScanReady() || client.Done(); }, 10s));
    if (ScanReady()) form.Button1Click();  // the first session reviews message 1
    ASSERT_TRUE(client.Finish());
    EXPECT_EQ(dele, "+OK Marked to be deleted\r\n");
    EXPECT_TRUE(stat.starts_with(reset ? "+OK 2 " : "+OK 1 ")) << stat;
    EXPECT_EQ(std::filesystem::exists(deliver + name), reset);
  }
  EXPECT_EQ(server.CountCommands("DELE"), 0u);
  ASSERT_EQ(LogLines().size(), 1u);
  EXPECT_EQ(Field(LogLines()[0], 4), kDeliveryEnded);
}

// Two sessions of one account at once: only the first is given the copy.
TEST_F(RemovedMail, ACopyIsDeliveredToOneSessionOfTheAccountAtATime) {
  server.AddMessage(Message("From: one@example.org\r\nSubject: first"));
  std::string name = RemovedCopyName(std::chrono::system_clock::now(), Account(), "OLD1");
  ASSERT_TRUE(StoreRemovedCopy(form.State.ProgramFolder + kDeliverFolder, name, kTricky));
  std::optional<std::string> firstUidl, secondUidl;
  Gate secondDone;
  ClientThread first([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    firstUidl = pop.MultiLineCommand("UIDL", 10s);
    secondDone.Wait();
    pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return firstUidl.has_value(); }, 5s));
  ClientThread second([&] {
    PlainPop3Client pop(GatewayPort());
    if (LogIn(pop)) secondUidl = pop.MultiLineCommand("UIDL", 10s);
    pop.Command("QUIT");
    secondDone.Open();
  });
  ASSERT_TRUE(second.Finish());
  ASSERT_TRUE(first.Finish());
  EXPECT_NE(firstUidl->find("\r\n2 QBR"), std::string::npos) << *firstUidl;
  ASSERT_TRUE(secondUidl.has_value());
  EXPECT_EQ(MessageLines(secondUidl), 1) << *secondUidl;
}

}  // namespace
}  // namespace qb::test
