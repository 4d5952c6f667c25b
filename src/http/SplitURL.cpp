#include "http/SplitURL.h"

#include "platform/AsciiText.h"

namespace qb {

TURLParts SplitURL(std::string_view url) {
  constexpr std::string_view prefix = "http://";
  if (StartsWithIgnoringAsciiCase(url, prefix)) url.remove_prefix(prefix.size());
  std::size_t slash = url.find('/');
  if (slash == std::string_view::npos) return {"", std::string(url)};
  return {std::string(url.substr(0, slash)), std::string(url.substr(slash))};
}

}  // namespace qb
