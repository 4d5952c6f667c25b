#include "net/SocketBuffer.h"

#include <algorithm>
#include <cstring>

namespace qb {

TBuffer::TBuffer(int size)
    : size_(size > 0 ? size : kDefaultSize),
      bytes_(std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(size_))) {}

int TBuffer::Write(const void* data, int length) {
  int count = std::clamp(length, 0, size_ - written_);
  std::memcpy(bytes_.get() + written_, data, static_cast<std::size_t>(count));
  written_ += count;
  return count;
}

std::pair<const char*, int> TBuffer::Peek() const {
  return {bytes_.get() + sent_, Pending()};
}

void TBuffer::Remove(int count) {
  sent_ += std::clamp(count, 0, Pending());
  if (sent_ == written_) {
    sent_ = 0;
    written_ = 0;
  }
}

}  // namespace qb
