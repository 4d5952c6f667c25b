// Follows one POP3 reply through the pieces it arrives in, so a session can
// relay each piece at once and still know where the reply ends. A reply is
// whole once its status line has come and, when a listing was asked for and
// the status is "+OK", the terminator CR LF "." CR LF after it, which may be
// split over pieces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

class TReplyFraming {
 public:
  // A status line longer than this without a line end is no POP3 status.
  static constexpr std::size_t kMaxStatusLine = 4096;

  // A new reply; `listingExpected` when a "+OK" introduces a listing.
  void Start(bool listingExpected);
  // Takes the next piece and returns how many of its bytes belong to this
  // reply; anything after the reply's end is not part of it.
  std::size_t Take(std::string_view piece);

  bool StatusComplete() const { return statusComplete_; }
  bool StatusTooLong() const { return !statusComplete_ && status_.size() > kMaxStatusLine; }
  // The status says "+OK".
  bool Positive() const { return status_.starts_with("+OK"); }
  bool Complete() const { return complete_; }
  // The status line with its line end, once complete.
  const std::string& Status() const { return status_; }

 private:
  std::size_t TakeStatus(std::string_view piece);
  std::size_t TakeListing(std::string_view piece);

  bool listingExpected_ = false;
  bool statusComplete_ = false;
  bool complete_ = false;
  std::string status_;
  std::string tail_;  // the last bytes of the listing so far, at most 4
};

}  // namespace qb
