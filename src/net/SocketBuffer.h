// TBuffer: one block of a socket's send queue.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace qb {

class TBuffer {
 public:
  // A size of 0 or less gives the default block size.
  explicit TBuffer(int size);

  int Size() const { return size_; }
  // Copies as much of `data` as fits after the bytes written so far.
  int Write(const void* data, int length);
  // The bytes not yet sent: their start and count.
  std::pair<const char*, int> Peek() const;
  // Marks up to `count` pending bytes as sent; an emptied block is reset.
  void Remove(int count);
  int Pending() const { return written_ - sent_; }
  bool Full() const { return written_ == size_; }

 private:
  static constexpr int kDefaultSize = 1514;
  int size_;
  std::unique_ptr<char[]> bytes_;
  int written_ = 0;
  int sent_ = 0;
};

}  // namespace qb
