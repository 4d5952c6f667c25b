// The scan reads each message with TOP n k: the rows name the files of the
// parts, a dangerous one is ticked even from a friend, and replies far
// longer than what the scan keeps still end where they end, so every other
// message reaches the client byte for byte.
#include <gtest/gtest.h>

#include "ScreenedSessionFixture.h"
#include "screening/TopReply.h"
#include "support/Pop3Text.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string Base64Lines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i)
    lines += std::string(76, static_cast<char>('A' + i % 26)) + "\r\n";
  return lines;
}

// A friend's mail with a text part, a disguised program and thousands of
// lines after it.
const std::string kWorm =
    "From: Pal <pal@friends.example>\r\nSubject: your invoice\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed;\r\n boundary=\"=_1\"\r\n\r\n--=_1\r\n"
    "Content-Type: text/plain\r\n\r\nPlease see the invoice.\r\n.hidden dot line\r\n--=_1\r\n"
    "Content-Type: application/octet-stream; name=\"invoice.pdf.exe\"\r\n"
    "Content-Disposition: attachment;\r\n filename*=UTF-8''invoice.pdf.exe\r\n\r\n" +
    Base64Lines(3000) + "--=_1--\r\n";
// One body line of 1 MiB: far more than the scan keeps of a reply.
const std::string kOneLongLine = "From: big@example.org\r\nSubject: Here you have, ;o)\r\n\r\n" +
                                 std::string(1u << 20, 'z') + "\r\n.after\r\n";
const std::string kPlain =
    "From: Lotto Claims <win@lotto.example>\r\nSubject: You won\r\n\r\n"
    ".first line\r\nsecond line\r\n";

class ScanAttachments : public ScreenedSessionTest {
 protected:
  MessageRow* Row(std::int64_t number) {
    for (MessageRow& row : form.ReviewListView1.Rows()) {
      if (row.Number == number) return &row;
    }
    return nullptr;
  }
};

TEST_F(ScanAttachments, LongRepliesAreReadToTheirEndAndTheOtherMessagesArriveWhole) {
  for (const std::string& message : {kWorm, kOneLongLine, kPlain}) server.AddMessage(message);
  form.State.FriendList = {"@friends.example"};
  form.State.AttachmentList = {".exe"};
  form.State.VirusList = {"Here you have, ;o)"};
  form.State.SenderList = {"Lotto Claims"};
  std::optional<std::string> list, first, second, quit;
  ClientThread client([&] {
    PlainPop3Client pop(GatewayPort());
    if (!LogIn(pop)) return;
    list = pop.MultiLineCommand("LIST", 20s);
    first = pop.MultiLineCommand("RETR 1");
    second = pop.MultiLineCommand("RETR 2");
    quit = pop.Command("QUIT");
  });
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 20s));
  std::string k = std::to_string(kScanBodyLines);
  for (const char* number : {"1", "2", "3"}) {
    EXPECT_EQ(server.CountCommands(std::string("TOP ") + number + " " + k), 1u) << number;
  }
  ASSERT_NE(Row(1), nullptr);
  EXPECT_EQ(Row(1)->File, "invoice.pdf.exe");
  EXPECT_EQ(Row(1)->CategoryIcon, MessageCategory::mcVirus) << "a friend lifts no virus rule";
  EXPECT_EQ(Row(1)->Rule, ".exe");
  std::size_t kept = 0;
  for (const std::string& line : Row(1)->BodyLines) kept += line.size();
  EXPECT_LE(kept, kKeptBodyBytes);
  EXPECT_GT(Row(1)->BodyLines.size(), 10u);
  EXPECT_EQ(Row(1)->BodyLines[4], ".hidden dot line");
  EXPECT_EQ(Row(2)->Subject, "Here you have, ;o)");
  EXPECT_TRUE(Row(2)->BodyLines.empty()) << "a line cut by the bound is dropped";
  EXPECT_EQ(Row(3)->CategoryIcon, MessageCategory::mcBlockedSender);
  EXPECT_EQ(Row(3)->FromName, "Lotto Claims");
  EXPECT_EQ(Row(3)->BodyLines, (TextLines{".first line", "second line"}));
  EXPECT_EQ(Row(3)->HeaderLines[0], "From: Lotto Claims <win@lotto.example>");

  Row(3)->Checked = false;
  Row(2)->Checked = false;
  form.Button1Click();
  ASSERT_TRUE(client.Finish(20s));
  EXPECT_EQ(MessageLines(list), 2);
  EXPECT_EQ(first, "+OK " + std::to_string(kOneLongLine.size()) + " octets\r\n" +
                       DotStuffedBody(kOneLongLine));
  EXPECT_EQ(second,
            "+OK " + std::to_string(kPlain.size()) + " octets\r\n" + DotStuffedBody(kPlain));
  EXPECT_EQ(quit.value_or("").substr(0, 3), "+OK");
  ASSERT_EQ(server.Mailbox().size(), 2u);
}

}  // namespace
}  // namespace qb::test
