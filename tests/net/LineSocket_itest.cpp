#include "net/LineSocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "net/AsyncSocket.h"
#include "platform/MessageLoop.h"
#include "support/LoopbackPeer.h"
#include "support/PumpUntil.h"
#include "support/UnchangedCounter.h"

namespace qb {
namespace {

using test::PlainListener;
using test::PumpUntil;
using test::SendAll;

// A line-mode socket connected to a plain peer that the test writes to.
class LineSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket.SetLineMode(true);
    socket.SetAddr("127.0.0.1");
    socket.SetPort(listener.PortText());
    socket.Connect();
    peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  }
  void TearDown() override {
    peer.Reset();
    socket.Close();
    MessageLoop::Instance().ProcessMessages();
    dropped.Check();
  }
  // Sends one piece and waits until the socket has read it from the network.
  void SendPiece(const std::string& piece) {
    std::int64_t before = socket.ReadCount();
    SendAll(peer.Get(), piece);
    ASSERT_TRUE(PumpUntil(
        [&] { return socket.ReadCount() >= before + static_cast<std::int64_t>(piece.size()); }));
  }
  void RecordLines() {
    socket.OnDataAvailable = [this](TCustomAsyncSocket* s, std::uint16_t) {
      lines.push_back(s->ReceiveString());
    };
  }

  PlainListener listener;
  TAsyncSocket socket;
  test::UniqueFd peer;
  std::vector<std::string> lines;
  test::UnchangedCounter dropped{"exceptions dropped by a receive loop",
                                 &TCustomAsyncSocket::DroppedExceptions};
};

TEST_F(LineSocketTest, ALineSplitOverThreeReadsArrivesAsOneLine) {
  RecordLines();
  SendPiece("US");
  SendPiece("ER x\r");
  EXPECT_TRUE(lines.empty()) << "the terminator is not complete yet";
  SendPiece("\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"USER x\r\n"}));
}

TEST_F(LineSocketTest, TwoLinesInOneReadGiveTwoEventsInOrder) {
  RecordLines();
  SendPiece("A\r\nB\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"A\r\n", "B\r\n"}));
}

TEST_F(LineSocketTest, AHandlerThatReadsPartOfALineIsCalledAgainForTheRest) {
  socket.OnDataAvailable = [this](TCustomAsyncSocket* s, std::uint16_t) {
    if (lines.empty()) {
      char two[2];
      int n = s->Receive(two, 2);
      lines.emplace_back(two, static_cast<std::size_t>(n));
    } else {
      lines.push_back(s->ReceiveString());
    }
  };
  SendPiece("abcdefgh\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"ab", "cdefgh\r\n"}));
}

TEST_F(LineSocketTest, AFinalLineWithoutTerminatorArrivesBeforeTheClose) {
  std::vector<std::string> events;
  socket.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    events.push_back("line " + s->ReceiveString());
  };
  socket.OnSessionClosed = [&](TCustomAsyncSocket*, std::uint16_t) { events.push_back("closed"); };
  SendAll(peer.Get(), "NOOP\r\nQUIT");
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return !events.empty() && events.back() == "closed"; }));
  EXPECT_EQ(events, (std::vector<std::string>{"line NOOP\r\n", "line QUIT", "closed"}));
}

TEST_F(LineSocketTest, AnOverlongUnfinishedLineIsDroppedAndTheNextBytesStartANewLine) {
  RecordLines();
  SendPiece(std::string(70000, 'x'));
  EXPECT_EQ(socket.BufferedCount(), 0) << "more than 65536 bytes without a terminator are dropped";
  SendPiece("NEXT\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"NEXT\r\n"}));
}

TEST_F(LineSocketTest, ALineLimitHandlerCanKeepTheData) {
  RecordLines();
  socket.LineLimit = 10;
  int reported = 0;
  socket.OnLineLimitExceeded = [&](TCustomAsyncSocket*, int length, bool& clear) {
    reported = length;
    clear = false;
  };
  SendPiece("0123456789AB");
  EXPECT_EQ(reported, 12);
  SendPiece("\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"0123456789AB\r\n"}));
}

TEST_F(LineSocketTest, AnEmptyLineEndDeliversRawDataInReadsOfAtMost255Bytes) {
  socket.LineEnd = "";
  std::string received;
  std::size_t largest = 0;
  socket.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    std::string piece = s->ReceiveString();
    largest = std::max(largest, piece.size());
    received += piece;
  };
  SendAll(peer.Get(), std::string(1000, 'r'));
  ASSERT_TRUE(PumpUntil([&] { return received.size() == 1000; }));
  EXPECT_LE(largest, 255u);
}

TEST_F(LineSocketTest, ALongerTerminatorIsFoundAcrossReads) {
  socket.LineEnd = "\r\n.\r\n";
  RecordLines();
  SendPiece("+OK list\r\n1 20\r\n.");
  SendPiece("\r");
  SendPiece("\nnext");
  EXPECT_EQ(lines, (std::vector<std::string>{"+OK list\r\n1 20\r\n.\r\n"}));
}

TEST_F(LineSocketTest, SwitchingLineModeOffRedeliversWhatIsBufferedAsRawData) {
  std::vector<std::string> events;
  socket.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    std::string piece = s->ReceiveString();
    events.push_back(piece);
    if (piece == "first\r\n") static_cast<TCustomLineSocket*>(s)->SetLineMode(false);
  };
  SendPiece("first\r\nsecond\r\nthird");
  ASSERT_TRUE(PumpUntil([&] { return events.size() >= 2; }));
  EXPECT_EQ(events[0], "first\r\n");
  std::string rest;
  for (std::size_t i = 1; i < events.size(); ++i) rest += events[i];
  EXPECT_EQ(rest, "second\r\nthird");
}

TEST_F(LineSocketTest, LineEditingAppliesBackspaceAndTabsAndEchoes) {
  socket.LineEdit = true;
  socket.LineEcho = true;
  RecordLines();
  SendPiece("ab\bc\td\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"ac      d\r\n"}));
  EXPECT_EQ(test::ReadPlain(peer.Get(), 11), "ab\bc      d\r\n");
}

}  // namespace
}  // namespace qb
