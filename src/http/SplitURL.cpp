#include "http/SplitURL.h"

#include <algorithm>

#include "platform/AsciiText.h"

namespace qb {

TURLParts SplitURL(std::string_view url) {
  TURLParts parts;
  for (std::string_view scheme : {"https", "http"}) {
    if (StartsWithIgnoringAsciiCase(url, std::string(scheme) + "://")) {
      parts.Scheme = scheme;
      url.remove_prefix(scheme.size() + 3);
      break;
    }
  }
  std::size_t slash = url.find('/');
  if (slash == std::string_view::npos) {
    parts.Path = url;
    return parts;
  }
  std::string_view host = url.substr(0, slash);
  parts.Path = url.substr(slash);
  std::size_t colon = host.rfind(':');
  std::string_view port = colon == std::string_view::npos ? "" : host.substr(colon + 1);
  if (!port.empty() && std::ranges::all_of(port, IsAsciiDigit)) {
    parts.Port = port;
    host = host.substr(0, colon);
  }
  parts.Host = host;
  return parts;
}

}  // namespace qb
