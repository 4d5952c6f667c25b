// The pieces under the screened session: where a reply ends whatever pieces
// it arrives in, how a client line is read, and the numbers a client sees
// after removals.
#include <gtest/gtest.h>

#include "screening/Listing.h"
#include "screening/Pop3Command.h"
#include "screening/Renumbering.h"
#include "screening/ReplyFraming.h"
#include "screening/SessionSteps.h"

namespace qb {
namespace {

// Feeds the reply cut at every position (and byte by byte) and checks that
// the framing ends exactly where the reply ends, never earlier.
TEST(ReplyFraming, EndsExactlyAtTheReplysEndHoweverItIsCut) {
  struct Case {
    const char* Name;
    bool Listing;
    std::string Reply;
  } cases[] = {
      {"one line", false, "+OK done\r\n"},
      {"an error to a listing", true, "-ERR no such message\r\n"},
      {"an empty listing", true, "+OK\r\n.\r\n"},
      {"a stuffed dot line", true, "+OK\r\n..not the end\r\n.x\r\n\r\n.\r\n"},
      {"a body that looks like its end", true, "+OK\r\nline\r\n.\r\r\n\n.\n\r\n.\r\n"},
  };
  const std::string after = "+OK next reply\r\n";
  for (const Case& each : cases) {
    SCOPED_TRACE(each.Name);
    std::string stream = each.Reply + after;
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
      for (std::size_t piece : {std::size_t{1}, stream.size()}) {
        TReplyFraming framing;
        framing.Start(each.Listing);
        std::size_t taken = 0;
        auto feed = [&](std::string_view part) {
          for (std::size_t i = 0; i < part.size(); i += piece) {
            taken += framing.Take(part.substr(i, piece));
          }
        };
        feed(std::string_view(stream).substr(0, cut));
        feed(std::string_view(stream).substr(cut));
        EXPECT_TRUE(framing.Complete()) << "cut at " << cut;
        EXPECT_EQ(taken, each.Reply.size()) << "cut at " << cut;
      }
    }
  }
}

TEST(ReplyFraming, TellsTheStatusAndAStatusThatNeverEnds) {
  TReplyFraming framing;
  framing.Start(true);
  framing.Take("-ERR go");
  EXPECT_FALSE(framing.StatusComplete());
  framing.Take(" away\r\n");
  EXPECT_TRUE(framing.Complete());
  EXPECT_FALSE(framing.Positive());
  EXPECT_EQ(framing.Status(), "-ERR go away\r\n");

  framing.Start(false);
  std::string endless(TReplyFraming::kMaxStatusLine + 1, 'x');
  EXPECT_EQ(framing.Take(endless), endless.size());
  EXPECT_TRUE(framing.StatusTooLong());
}

TEST(Pop3Command, KeywordsIgnoreCaseAndNumbersCompareAsNumbers) {
  struct Case {
    const char* Line;
    const char* Keyword;
    const char* Argument;
    bool MultiLine;
  } cases[] = {
      {"list\r\n", "LIST", "", true},        {"LIST 3\r\n", "LIST", "3", false},
      {"Retr  05 \r\n", "RETR", "05", true}, {"uidl\r\n", "UIDL", "", true},
      {"UIDL 2\r\n", "UIDL", "2", false},    {"top 1 0\r\n", "TOP", "1 0", true},
      {"CAPA\r\n", "CAPA", "", true},        {"AUTH PLAIN\r\n", "AUTH", "PLAIN", false},
      {"noop\r\n", "NOOP", "", false},       {"\r\n", "", "", false},
  };
  for (const Case& each : cases) {
    TPop3Command command = ParseCommand(each.Line);
    EXPECT_EQ(command.Keyword, each.Keyword) << each.Line;
    EXPECT_EQ(command.Argument, each.Argument) << each.Line;
    EXPECT_EQ(HasMultiLineReply(command), each.MultiLine) << each.Line;
  }
  TPop3Command top = ParseCommand("top 03 10\r\n");
  EXPECT_EQ(top.Number, 3);
  EXPECT_EQ(top.AfterNumber, " 10");
  EXPECT_TRUE(top.NamesMessage());
  EXPECT_FALSE(ParseCommand("AUTH PLAIN").Number.has_value());
  EXPECT_FALSE(ParseCommand("LIST").NamesMessage());
  EXPECT_EQ(MessageNumberOf("03"), 3);
  EXPECT_EQ(MessageNumberOf(" 3 "), 3);
  for (const char* notANumber : {"", "-3", "+3", "3a", "99999999999999999999"}) {
    EXPECT_FALSE(MessageNumberOf(notANumber).has_value()) << notANumber;
  }
}

// The line the client's command becomes upstream, or that it names none.
std::string ServerLine(const TRenumbering& numbering, const std::string& line) {
  TPop3Command command = ParseCommand(line);
  std::optional<std::int64_t> number = numbering.ServerNumberOf(command);
  return number ? TRenumbering::CommandToServer(command, *number) : "(no such message)";
}

// Messages 2 and 4 of five were removed: the client sees 1, 3, 5 as 1, 2, 3.
TEST(Renumbering, TheClientSeesTheRemainingMessagesNumberedOneToM) {
  TextLines held = {"+OK 5 messages", "1 10", "2 20", "3 30", "4 40", "5 50", "."};
  TRenumbering numbering(held, {2}, {4});  // 2 deleted, 4 left out for review
  ASSERT_TRUE(numbering.Active());
  EXPECT_EQ(ServerLine(numbering, "RETR 2\r\n"), "RETR 3\r\n");
  EXPECT_EQ(ServerLine(numbering, "retr 03\r\n"), "RETR 5\r\n");
  EXPECT_EQ(ServerLine(numbering, "TOP 3 10\r\n"), "TOP 5 10\r\n");
  EXPECT_EQ(ServerLine(numbering, "LIST 2\r\n"), "LIST 3\r\n");
  EXPECT_EQ(ServerLine(numbering, "DELE 1\r\n"), "DELE 1\r\n");
  EXPECT_EQ(numbering.ReplyToClient("+OK\r\n1 a\r\n3 c\r\n5 e\r\n.\r\n", true),
            "+OK\r\n1 a\r\n2 c\r\n3 e\r\n.\r\n");
  EXPECT_EQ(numbering.ReplyToClient("+OK 5 50\r\n", false), "+OK 3 50\r\n");
  EXPECT_EQ(numbering.ReplyToClient("-ERR no such message\r\n", false), "-ERR no such message\r\n");
  std::string all;
  for (const std::string& line : held) all += line + "\r\n";
  EXPECT_EQ(numbering.ReplyToClient(all, true), "+OK 5 messages\r\n1 10\r\n2 30\r\n3 50\r\n.\r\n");
  EXPECT_EQ(numbering.StatToClient("+OK 4 130\r\n"), "+OK 3 90\r\n")
      << "a message left out is still counted by the server";
  EXPECT_EQ(numbering.StatToClient("+OK 3 120\r\n"), "+OK 2 80\r\n")
      << "after the client's DELE of its message 1";
  EXPECT_EQ(numbering.StatToClient("-ERR busy\r\n"), "-ERR busy\r\n");

  TRenumbering none(held, {});
  EXPECT_FALSE(none.Active());
  EXPECT_EQ(ServerLine(none, "RETR 2\r\n"), "RETR 2\r\n");
}

// A number the client was not shown never reaches the server (it would go
// as message 0, or name a message left out); before any listing the
// server's numbers pass as they are.
TEST(Renumbering, NumbersPastTheShownListNameNoMessage) {
  TextLines held = {"+OK 5 messages", "1 10", "2 20", "3 30", "4 40", "5 50", "."};
  TRenumbering removed(held, {2}, {4}), unchanged(held, {}), unlisted;
  for (const char* line :
       {"RETR 4", "TOP 9 0", "DELE 0", "LIST 4", "UIDL 99999999999999999999", "RETR x", "TOP"}) {
    EXPECT_EQ(ServerLine(removed, line), "(no such message)") << line;
  }
  EXPECT_EQ(ServerLine(unchanged, "RETR 6"), "(no such message)");
  EXPECT_EQ(ServerLine(unchanged, "RETR 5"), "RETR 5\r\n");
  EXPECT_EQ(ServerLine(unlisted, "RETR 6"), "RETR 6\r\n");
}

// After removals a LIST's status line counts what the client is listed.
TEST(Listing, TheStatusLineCountsTheLinesListed) {
  EXPECT_EQ(WithCountedStatus("+OK 8 messages:\r\n1 10\r\n3 30\r\n.\r\n"),
            "+OK 2 messages (40 octets)\r\n1 10\r\n3 30\r\n.\r\n");
  for (const char* kept : {"+OK\r\n1 10\r\n.\r\n", "-ERR busy\r\n", "+OK 2 messages\r\n1 10\r\n"}) {
    EXPECT_EQ(WithCountedStatus(kept), kept);
  }
}

TEST(SessionSteps, TheScanGoesListUidlHeadersAndOnlyThat) {
  using enum TSessionStep;
  EXPECT_TRUE(StepMayFollow(ssList, ssUidl));
  EXPECT_TRUE(StepMayFollow(ssUidl, ssHeader));
  EXPECT_TRUE(StepMayFollow(ssHeader, ssHeader));
  EXPECT_TRUE(StepMayFollow(ssIdle, ssRemove));
  for (TSessionStep command : {ssRelay, ssRelayWhole, ssRetrieve, ssDeleteInstead}) {
    for (TSessionStep next : {ssRelay, ssRelayWhole, ssRetrieve, ssDeleteInstead, ssList}) {
      EXPECT_TRUE(StepMayFollow(command, next)) << "any client command may follow another";
    }
  }
  EXPECT_FALSE(StepMayFollow(ssList, ssRelay)) << "a held LIST lets no command through";
  EXPECT_FALSE(StepMayFollow(ssRemove, ssRetrieve));
  EXPECT_EQ(LastCommandText(ssUidl, "", 0), "*UIDL");
  EXPECT_EQ(LastCommandText(ssHeader, "", 4), "*LIST");
  EXPECT_EQ(LastCommandText(ssDeleteInstead, "", 3), "*DELE 3");
  EXPECT_EQ(LastCommandText(ssRetrieve, "", 3), "RETR 3");
  EXPECT_EQ(LastCommandText(ssRelay, "NOOP\r\n", 0), "NOOP\r\n");
}

}  // namespace
}  // namespace qb
