// The file names a message gives its parts, read from the top header and the
// first body lines the scan has: every part of a multipart message (nested
// multiparts and attached messages included) that names its file in
// Content-Disposition's filename or Content-Type's name, and uuencoded files
// ("begin 644 name"). Parts the lines do not reach are not seen.
#pragma once

#include "screening/ScreeningText.h"

namespace qb {

// Whether the top header says the message is multipart.
bool IsMultipart(const TextLines& header);

// The names in the order the parts come, decoded (RFC 2231, encoded words)
// but not made safe as file names.
TextLines PartFileNames(const TextLines& header, const TextLines& body);

}  // namespace qb
