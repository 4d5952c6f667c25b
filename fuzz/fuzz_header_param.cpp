// GetHeaderParam: the first input line is the parameter name, the rest the
// field line.
#include "FuzzInput.h"
#include "screening/HeaderFields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto [name, line] = qb::fuzz::SplitAtFirstLine(qb::fuzz::AsText(data, size));
  std::string value = qb::GetHeaderParam(line, name);
  qb::fuzz::Require(value.size() <= line.size());
  qb::HeaderLineValue(line);
  return 0;
}
