#include "net/SendQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qb {
namespace {

// What a gathering send would take from the queue, at most `maxPieces` pieces.
std::string Gathered(const TSendQueue& queue, int maxPieces = 64) {
  std::vector<iovec> pieces(static_cast<std::size_t>(maxPieces));
  std::size_t queued = 0;
  int count = queue.Gather(pieces.data(), maxPieces, queued);
  std::string bytes;
  for (int i = 0; i < count; ++i)
    bytes.append(static_cast<const char*>(pieces[static_cast<std::size_t>(i)].iov_base),
                 pieces[static_cast<std::size_t>(i)].iov_len);
  EXPECT_EQ(queued, bytes.size()) << "the count covers exactly the pieces";
  return bytes;
}

// One step: append `Append`, then drop `Consume` bytes from the front.
struct Step {
  std::string Append;
  std::size_t Consume = 0;
};

struct QueueCase {
  const char* Name;
  int BlockSize;
  std::vector<Step> Steps;
  std::string Left;
};

TEST(SendQueue, KeepsTheBytesInOrderAcrossBlocksAndPartialSends) {
  const QueueCase cases[] = {
      {"one block", 16, {{"+OK\r\n", 0}}, "+OK\r\n"},
      {"exactly full blocks", 4, {{"abcdefgh", 0}}, "abcdefgh"},
      {"spans blocks", 4, {{"0123456789", 3}}, "3456789"},
      {"partial send inside a block", 4, {{"abcdef", 1}, {"gh", 2}}, "defgh"},
      {"drains and refills", 4, {{"abcdef", 6}, {"xyz", 0}}, "xyz"},
      {"consume past the end", 4, {{"abc", 10}, {"", 0}}, ""},
      {"many small appends", 3, {{"a", 0}, {"bc", 0}, {"def", 2}, {"g", 1}}, "defg"},
      {"empty append", 4, {{"", 0}}, ""},
  };
  for (const QueueCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSendQueue queue(c.BlockSize);
    for (const Step& step : c.Steps) {
      queue.Append(step.Append);
      queue.Consume(step.Consume);
    }
    EXPECT_EQ(Gathered(queue), c.Left);
    EXPECT_EQ(queue.Size(), c.Left.size());
    EXPECT_EQ(queue.Empty(), c.Left.empty());
  }
}

TEST(SendQueue, GathersOnlyAsManyPiecesAsAllowedFromTheFront) {
  TSendQueue queue(2);
  queue.Append("aabbccdd");
  EXPECT_EQ(Gathered(queue, 3), "aabbcc");
  queue.Consume(6);
  EXPECT_EQ(Gathered(queue, 3), "dd");
}

TEST(SendQueue, ReusesEmptiedBlocksAndFreesThemOnClear) {
  TSendQueue queue(4);
  queue.Append("0123456789ab");
  EXPECT_EQ(queue.BlockCount(), 3u);
  queue.Consume(12);
  EXPECT_EQ(queue.BlockCount(), 0u);
  EXPECT_EQ(queue.SpareCount(), 3u);
  queue.Append("01234");
  EXPECT_EQ(queue.BlockCount(), 2u);
  EXPECT_EQ(queue.SpareCount(), 1u) << "a new append takes a kept block first";
  queue.Clear();
  EXPECT_EQ(queue.BlockCount() + queue.SpareCount(), 0u);
  EXPECT_TRUE(queue.Empty());
}

}  // namespace
}  // namespace qb
