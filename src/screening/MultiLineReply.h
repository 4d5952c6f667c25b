// Reading a whole multi-line POP3 reply inside a server-data handler. The
// handler does not return to the message loop meanwhile: it waits on the
// socket between reads. The read always ends: at the terminator CR LF "."
// CR LF, at a single-line "-ERR" status, when the connection closes, after a
// long silence of the server, or past a size cap.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "net/AsyncSocket.h"

namespace qb {

enum class TReplyEnd {
  reComplete,  // the terminator arrived
  reError,     // a "-ERR" status line arrived instead of a listing
  reClosed,    // the connection closed, or reading failed
  reSilent,    // the server sent nothing for too long, or took too long in all
  reTooLarge,  // the reply outgrew the size cap
};

struct TReplyLimits {
  std::chrono::milliseconds Silence{60000};  // the longest pause between two pieces
  std::chrono::milliseconds Total{300000};   // the longest a whole reply may take
  std::size_t MaxBytes = 64u << 20;
};

// Reads until the reply in `text` (which starts with what has arrived) is
// complete or ends otherwise. At least one read is made.
TReplyEnd ReadMultiLineReply(TAsyncSocket& server, std::string& text, const TReplyLimits& limits);

// Reads until `text` holds at least one whole line (a status line), with
// the same ends; a server may send even a status line in several pieces.
TReplyEnd ReadStatusLine(TAsyncSocket& server, std::string& text, const TReplyLimits& limits);

}  // namespace qb
