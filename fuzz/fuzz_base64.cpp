// DecodeBase64: at most three bytes for every four characters.
#include "FuzzInput.h"
#include "screening/TransferDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string decoded = qb::DecodeBase64(qb::fuzz::AsText(data, size));
  qb::fuzz::Require(decoded.size() <= size / 4 * 3);
  return 0;
}
