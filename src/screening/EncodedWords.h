// MIME encoded words ("=?charset?B?...?=") in header texts. The decoded
// bytes are kept as they are: the charset is not used for any conversion.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// The trimmed text with every encoded word replaced by its decoded bytes.
// The encoding letter may be B, Q or U; any other letter is taken as Q. A
// malformed encoded word stops the decoding and leaves the rest as it is.
std::string DecodeEncodedWords(std::string_view text);

}  // namespace qb
