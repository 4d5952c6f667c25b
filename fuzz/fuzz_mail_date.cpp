// ParseMailDate and the review list's formatting of its result.
#include <cstdlib>

#include "FuzzInput.h"
#include "screening/MailDate.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "UTC-1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<qb::DateTime> value = qb::ParseMailDate(qb::fuzz::AsText(data, size));
  if (value) {
    std::string text = qb::FormatDateTime(*value);
    qb::fuzz::Require(text.empty() || text.size() == 19);
  }
  return 0;
}
