// TReplyFraming: the first byte chooses a listing or a one-line reply and
// the size of the pieces; the framing must take exactly the same bytes,
// however the reply is cut.
#include "FuzzInput.h"
#include "screening/ReplyFraming.h"

namespace {

std::size_t Taken(std::string_view text, bool listing, std::size_t piece) {
  qb::TReplyFraming framing;
  framing.Start(listing);
  std::size_t taken = 0;
  for (std::size_t at = 0; at < text.size(); at += piece) {
    std::size_t used = framing.Take(text.substr(at, piece));
    qb::fuzz::Require(used <= piece);
    taken += used;
  }
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  bool listing = (data[0] & 1) != 0;
  std::size_t piece = 1 + (data[0] >> 1);
  std::string_view text = qb::fuzz::AsText(data + 1, size - 1);
  qb::fuzz::Require(Taken(text, listing, piece) == Taken(text, listing, text.size() + 1));
  return 0;
}
