#include "net/SendQueue.h"

#include <algorithm>

namespace qb {

void TSendQueue::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (blocks_.empty() || blocks_.back()->Full()) AppendBlock();
    int copied = blocks_.back()->Write(
        bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 30)));
    bytes.remove_prefix(static_cast<std::size_t>(copied));
    size_ += static_cast<std::size_t>(copied);
  }
}

int TSendQueue::Gather(iovec* pieces, int max, std::size_t& queued) const {
  int count = 0;
  queued = 0;
  for (const auto& block : blocks_) {
    if (count == max) break;
    auto [bytes, length] = block->Peek();
    if (length == 0) continue;
    pieces[count++] = iovec{const_cast<char*>(bytes), static_cast<std::size_t>(length)};
    queued += static_cast<std::size_t>(length);
  }
  return count;
}

void TSendQueue::Consume(std::size_t count) {
  count = std::min(count, size_);
  size_ -= count;
  while (count > 0) {
    TBuffer& front = *blocks_.front();
    int taken =
        static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(front.Pending())));
    front.Remove(taken);
    count -= static_cast<std::size_t>(taken);
    if (front.Pending() == 0) RetireFrontBlock();
  }
}

void TSendQueue::Clear() {
  blocks_.clear();
  spare_.clear();
  size_ = 0;
}

void TSendQueue::AppendBlock() {
  if (spare_.empty()) {
    blocks_.push_back(std::make_unique<TBuffer>(blockSize_));
    return;
  }
  blocks_.push_back(std::move(spare_.back()));
  spare_.pop_back();
}

void TSendQueue::RetireFrontBlock() {
  if (spare_.size() < kMaxSpareBlocks) spare_.push_back(std::move(blocks_.front()));
  blocks_.pop_front();
}

}  // namespace qb
