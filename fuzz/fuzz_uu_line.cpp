// DecodeUULine: at most 45 bytes, and never more than the count promises.
#include "FuzzInput.h"
#include "screening/TransferDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string decoded = qb::DecodeUULine(qb::fuzz::AsText(data, size));
  qb::fuzz::Require(decoded.size() <= 45);
  qb::fuzz::Require(decoded.empty() || decoded.size() <= size * 6 / 8);
  return 0;
}
