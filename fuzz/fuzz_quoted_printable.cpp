// DecodeQuotedPrintable: never longer than its input.
#include "FuzzInput.h"
#include "screening/TransferDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string decoded = qb::DecodeQuotedPrintable(qb::fuzz::AsText(data, size));
  qb::fuzz::Require(decoded.size() <= size);
  return 0;
}
