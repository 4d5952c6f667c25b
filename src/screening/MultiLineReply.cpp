#include "screening/MultiLineReply.h"

#include <poll.h>

#include <algorithm>
#include <optional>
#include <string_view>

namespace qb {

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

using Clock = std::chrono::steady_clock;

// Waits until the socket is readable; false when nothing came in time.
bool WaitReadable(int fd, Clock::time_point deadline) {
  auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (remaining.count() <= 0) return false;
  pollfd ready{fd, POLLIN, 0};
  return poll(&ready, 1, static_cast<int>(remaining.count())) > 0;
}

bool IsErrorStatus(const std::string& text) {
  return text.starts_with("-ERR") && text.find("\r\n") != std::string::npos;
}

// Reads pieces into `text` until `finished(text)` tells how the reply ended,
// waiting on the socket between reads; at least one read is made.
template <typename Finished>
TReplyEnd ReadUntil(TAsyncSocket& server, std::string& text, const TReplyLimits& limits,
                    Finished finished) {
  bool readableButEmpty = false;
  const Clock::time_point giveUp = Clock::now() + limits.Total;
  for (;;) {
    std::string piece;
    try {
      piece = server.ReceiveString();
    } catch (const std::exception&) {
      return TReplyEnd::reClosed;
    }
    text += piece;
    if (std::optional<TReplyEnd> end = finished(text)) return *end;
    if (text.size() > limits.MaxBytes) return TReplyEnd::reTooLarge;
    if (!piece.empty()) {
      readableButEmpty = false;
      continue;
    }
    // Readable with nothing to read is the end of the stream.
    if (readableButEmpty || server.State() != wsConnected) return TReplyEnd::reClosed;
    // A server that sends a byte now and then must not hold the program for ever.
    Clock::time_point deadline = std::min(Clock::now() + limits.Silence, giveUp);
    if (!WaitReadable(server.HSocket(), deadline)) return TReplyEnd::reSilent;
    readableButEmpty = true;
  }
}

}  // namespace

TReplyEnd ReadMultiLineReply(TAsyncSocket& server, std::string& text, const TReplyLimits& limits) {
  std::size_t searchFrom = 0;  // resumes just before the previous end
  return ReadUntil(
      server, text, limits, [&searchFrom](const std::string& t) -> std::optional<TReplyEnd> {
        if (IsErrorStatus(t)) return TReplyEnd::reError;
        if (t.find(kTerminator, searchFrom) != std::string::npos) return TReplyEnd::reComplete;
        searchFrom = t.size() >= kTerminator.size() ? t.size() - kTerminator.size() + 1 : 0;
        return std::nullopt;
      });
}

TReplyEnd ReadStatusLine(TAsyncSocket& server, std::string& text, const TReplyLimits& limits) {
  return ReadUntil(server, text, limits, [](const std::string& t) -> std::optional<TReplyEnd> {
    if (t.find("\r\n") != std::string::npos) return TReplyEnd::reComplete;
    return std::nullopt;
  });
}

}  // namespace qb
