// Splitting a download address into scheme, host, port and object path.
#pragma once

#include <string>
#include <string_view>

namespace qb {

struct TURLParts {
  std::string Scheme = "http";  // "http" or "https"
  std::string Host;
  std::string Port;  // digits, or empty for the scheme's own port
  std::string Path;
};

// Drops a leading "http://" or "https://" (any case; the scheme follows it)
// and splits at the first "/": the host is what stands before it, the path
// is the rest, the "/" included. Without a "/" the host is empty and the
// path is the whole text. A host ending in ":digits" gives them as the port
// ("lists.example:8080", "[::1]:8080").
TURLParts SplitURL(std::string_view url);

}  // namespace qb
