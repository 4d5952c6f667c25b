#include "http/ReplyHeaders.h"

#include <charconv>

#include "platform/AsciiText.h"

namespace qb {

namespace {

// "HTTP/1.0 404 Not Found" gives 404; anything unreadable gives 0.
int ParseStatusCode(std::string_view statusLine) {
  std::size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return 0;
  std::string_view code = statusLine.substr(blank + 1);
  if (code.empty() || code.front() < '0' || code.front() > '9') return 0;  // "-12" is no code
  int value = 0;
  auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
  bool threeDigits = end == code.data() + 3 && (code.size() == 3 || code[3] == ' ');
  if (error != std::errc() || !threeDigits) return 0;
  return value;
}

}  // namespace

void ReplyHeaders::AddLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (StartsWithIgnoringAsciiCase(line, "HTTP/")) {
    StartReply(line);
    return;
  }
  if (line.empty()) {
    complete_ = true;
    return;
  }
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  if (EqualsIgnoringAsciiCase(TrimAsciiSpace(line.substr(0, colon)), "Content-Length")) {
    AddContentLength(TrimAsciiSpace(line.substr(colon + 1)));
  }
}

void ReplyHeaders::StartReply(std::string_view statusLine) {
  *this = ReplyHeaders();
  status_ = ParseStatusCode(statusLine);
}

// Two different lengths in one reply cannot both be right; the value then
// reads as no number at all, so the download fails.
void ReplyHeaders::AddContentLength(std::string_view value) {
  if (contentLength_ && *contentLength_ != value) {
    contentLength_ = "conflicting lengths";
    return;
  }
  contentLength_ = std::string(value);
}

std::optional<std::int64_t> ParseContentLength(std::string_view text) {
  text = TrimAsciiSpace(text);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

}  // namespace qb
