// DecodeEncodedWords on a header text: terminates, and never grows the text.
#include "FuzzInput.h"
#include "screening/EncodedWords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string decoded = qb::DecodeEncodedWords(qb::fuzz::AsText(data, size));
  qb::fuzz::Require(decoded.size() <= size);
  return 0;
}
