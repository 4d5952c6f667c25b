// The DNS block-list test over header lines, with a resolver that answers
// from the query name alone: at most one lookup per relay record.
#include "FuzzInput.h"
#include "screening/DnsBlockList.h"

namespace {

class NameHashResolver : public qb::IHostResolver {
 public:
  std::vector<qb::Ipv4Address> ResolveIPv4(const std::string& hostName) override {
    ++Lookups;
    if (hostName.size() % 3 == 0) return {};
    auto last = static_cast<std::uint8_t>(hostName.size());
    return {{127, static_cast<std::uint8_t>(hostName.size() % 2 ? 255 : 0), 255, last}};
  }
  std::size_t Lookups = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qb::TextLines lines = qb::fuzz::AsLines(data, size);
  NameHashResolver resolver;
  qb::DnsBlockListTest(lines, {"bl.example.org"}, resolver);
  qb::fuzz::Require(resolver.Lookups <= qb::RelayRecords(lines).size());
  return 0;
}
