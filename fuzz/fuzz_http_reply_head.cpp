// ReplyHeaders: each input line is one header line of an HTTP reply, as the
// download hands them over; the head must never claim a status outside the
// three digits nor a negative length.
#include "FuzzInput.h"
#include "http/ReplyHeaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qb::ReplyHeaders head;
  for (const std::string& line : qb::fuzz::AsLines(data, size)) head.AddLine(line);
  qb::fuzz::Require(head.Status() >= 0 && head.Status() <= 999);
  if (head.ContentLength()) {
    std::optional<std::int64_t> length = qb::ParseContentLength(*head.ContentLength());
    qb::fuzz::Require(!length || *length >= 0);
  }
  return 0;
}
