// What the scan reads of one message: the reply to "TOP n kScanBodyLines",
// kept up to a bound and split into the top header and the first body lines.
// The body lines reach the part headers of a multipart message's attachments
// (after a short text part) and are what a learning classifier can tokenize.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

// The body lines the scan asks for with each TOP. On the public SpamAssassin
// corpus the first named part of a multipart message ends within 100 body
// lines in 4 of 5 messages (within 60 in 2 of 3), and half of all bodies are
// shorter than 40 lines.
inline constexpr int kScanBodyLines = 100;

// The bytes of one TOP reply the scan keeps (the status line, the header and
// the body lines together); what comes after them is read to the reply's end
// and dropped, so a line without end or a huge header costs no memory.
inline constexpr std::size_t kScanKeptBytes = 256u << 10;

// The body bytes a scanned message keeps for later (MessageRow::BodyLines).
inline constexpr std::size_t kKeptBodyBytes = 4u << 10;

// Appends what of the piece still fits `limit` bytes of kept reply.
void KeepReplyPiece(std::string& kept, std::string_view piece, std::size_t limit);

struct TTopReply {
  TextLines Header;  // the top header's physical lines, dot-unstuffed as the body
  TextLines Body;    // the body lines that came
};

// Splits a TOP reply as kept: the status line goes, the header runs to the
// first empty line, the body to the terminator. A reply cut by the bound
// loses its last, partial line.
TTopReply SplitTopReply(std::string_view reply);

// The first body lines, as many whole lines as fit `maxBytes` (line ends
// not counted), and at most kScanBodyLines of them.
TextLines FirstBodyLines(const TextLines& body, std::size_t maxBytes = kKeptBodyBytes);

}  // namespace qb
