// Name lookups whose answers come back on the main thread, from the message
// loop: the face the block-list checks see of whatever does the lookups
// (TResolverPool over a synchronous resolver, TAresLookups over DNS).
//
// - Resolve, Cancel and the destructor belong to the main thread; `done`
//   runs there too, from the loop, never inside Resolve.
// - Each lookup has a time limit counted from its request; when it passes,
//   `done` gets TimedOut.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/HostResolver.h"

namespace qb {

// Empty and not TimedOut: the name does not resolve.
struct TLookupResult {
  bool TimedOut = false;
  std::vector<Ipv4Address> Addresses;
  std::vector<Ipv6Address> Addresses6;  // a lookup of lfIPv6 fills these instead
};

// Which addresses a lookup asks for (A or AAAA records, in DNS terms).
enum class TLookupFamily : std::uint8_t { lfIPv4, lfIPv6 };

using TLookupId = std::uint64_t;
using TLookupDone = std::function<void(const TLookupResult&)>;

class IAsyncLookups {
 public:
  virtual ~IAsyncLookups() = default;
  virtual TLookupId Resolve(std::string name, std::chrono::milliseconds limit,
                            TLookupDone done) = 0;
  // `done` of that lookup will not run; an unknown or finished id is ignored.
  virtual void Cancel(TLookupId id) = 0;
  // How many lookups are worth having in flight at once.
  virtual std::size_t Parallel() const = 0;
};

}  // namespace qb
