// The three transfer encodings found in encoded words. Each decoder is
// lenient: what cannot be decoded is dropped, nothing is reported.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// Base64: groups of four alphabet characters give three bytes, fewer when
// the group is padded with "="; characters outside the alphabet are
// skipped and an incomplete last group is dropped.
std::string DecodeBase64(std::string_view encoded);

// Quoted-printable: "=" and two hexadecimal digits (0-9, A-F) give that
// byte; any other "=" is dropped together with the two characters after it.
std::string DecodeQuotedPrintable(std::string_view encoded);

// One uuencoded line: the first character gives the byte count. A character
// outside the uuencode set makes the whole line decode to nothing.
std::string DecodeUULine(std::string_view line);

}  // namespace qb
