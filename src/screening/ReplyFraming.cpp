#include "screening/ReplyFraming.h"

#include <algorithm>

namespace qb {

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";
constexpr std::size_t kTailBytes = kTerminator.size() - 1;

}  // namespace

void TReplyFraming::Start(bool listingExpected) {
  listingExpected_ = listingExpected;
  statusComplete_ = false;
  complete_ = false;
  status_.clear();
  tail_.clear();
}

std::size_t TReplyFraming::Take(std::string_view piece) {
  if (complete_) return 0;
  std::size_t used = statusComplete_ ? 0 : TakeStatus(piece);
  if (!statusComplete_) return used;
  if (!complete_) used += TakeListing(piece.substr(used));
  return used;
}

std::size_t TReplyFraming::TakeStatus(std::string_view piece) {
  std::size_t lineEnd = piece.find('\n');
  std::size_t used = lineEnd == std::string_view::npos ? piece.size() : lineEnd + 1;
  status_.append(piece.substr(0, used));
  if (lineEnd == std::string_view::npos) return used;
  statusComplete_ = true;
  complete_ = !(listingExpected_ && Positive());
  tail_ = "\r\n";  // the status line's end begins the terminator of an empty listing
  return used;
}

// A terminator that began in the previous piece is looked for in the kept
// tail joined to this piece's first bytes; one wholly inside the piece with
// a plain search.
std::size_t TReplyFraming::TakeListing(std::string_view piece) {
  std::string joined = tail_;
  joined.append(piece.substr(0, std::min(piece.size(), kTailBytes)));
  std::size_t found = joined.find(kTerminator);
  std::size_t end = std::string_view::npos;
  if (found != std::string::npos) {
    end = found + kTerminator.size() - tail_.size();
  } else if ((found = piece.find(kTerminator)) != std::string_view::npos) {
    end = found + kTerminator.size();
  }
  if (end != std::string_view::npos) {
    complete_ = true;
    return end;
  }
  if (piece.size() >= kTailBytes) {
    tail_.assign(piece.substr(piece.size() - kTailBytes));
  } else {
    tail_.append(piece);
    tail_.erase(0, tail_.size() > kTailBytes ? tail_.size() - kTailBytes : 0);
  }
  return piece.size();
}

}  // namespace qb
