// TSendQueue: the bytes a socket was given to send that the system has not
// taken yet, in order, kept in blocks (TBuffer). The socket gathers the
// queued bytes into one vectored send and drops what the system took; blocks
// that empty are kept for reuse up to a bounded number, so a steady stream
// of sends does not allocate a block each time.
//
//   TSendQueue queue;
//   queue.Append("+OK\r\n");
//   iovec pieces[64];
//   int count = queue.Gather(pieces, 64);
//   queue.Consume(writev(fd, pieces, count));
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include <sys/uio.h>

#include "net/SocketBuffer.h"

namespace qb {

class TSendQueue {
 public:
  // 16 KiB blocks: 64 of them fill one gathering send of 1 MiB; 16 spare
  // blocks keep a steady stream from allocating without holding much.
  static constexpr int kDefaultBlockSize = 16 * 1024;
  static constexpr std::size_t kMaxSpareBlocks = 16;

  explicit TSendQueue(int blockSize = kDefaultBlockSize) : blockSize_(blockSize) {}

  void Append(std::string_view bytes);
  // Points up to `max` pieces at the queued bytes, in order; returns the
  // count of pieces. `queued` receives the bytes they cover.
  int Gather(iovec* pieces, int max, std::size_t& queued) const;
  // Drops the first `count` queued bytes (at most all of them).
  void Consume(std::size_t count);
  // Drops every queued byte and the spare blocks.
  void Clear();

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  // Blocks in use and kept for reuse, for the tests of the bookkeeping.
  std::size_t BlockCount() const { return blocks_.size(); }
  std::size_t SpareCount() const { return spare_.size(); }

 private:
  void AppendBlock();
  void RetireFrontBlock();

  int blockSize_;
  std::deque<std::unique_ptr<TBuffer>> blocks_;
  std::vector<std::unique_ptr<TBuffer>> spare_;
  std::size_t size_ = 0;
};

}  // namespace qb
