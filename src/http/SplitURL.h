// Splitting a download address into host and object path.
#pragma once

#include <string>
#include <string_view>

namespace qb {

struct TURLParts {
  std::string Host;
  std::string Path;
};

// Drops a leading "http://" (any case) and splits at the first "/": the host
// is what stands before it, the path is the rest, the "/" included. Without a
// "/" the host is empty and the path is the whole text. There is no port
// syntax: a ":port" after the host name stays part of the host name.
TURLParts SplitURL(std::string_view url);

}  // namespace qb
