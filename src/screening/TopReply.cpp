#include "screening/TopReply.h"

#include <algorithm>

#include "screening/ListFile.h"

namespace qb {

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

// The lines of the reply after its status line, without the terminator's
// "." and without a partial last line.
TextLines MessageLinesOf(std::string_view reply) {
  bool whole = reply.ends_with(kTerminator);
  if (whole) reply.remove_suffix(kTerminator.size() - 2);
  std::size_t lastEnd = reply.find_last_of('\n');
  reply = lastEnd == std::string_view::npos ? std::string_view() : reply.substr(0, lastEnd + 1);
  TextLines lines = ParseListText(reply);
  if (!lines.empty()) lines.erase(lines.begin());  // the status line
  for (std::string& line : lines) {
    if (line.starts_with("..")) line.erase(0, 1);
  }
  return lines;
}

}  // namespace

void KeepReplyPiece(std::string& kept, std::string_view piece, std::size_t limit) {
  if (kept.size() >= limit) return;
  kept.append(piece.substr(0, limit - kept.size()));
}

TTopReply SplitTopReply(std::string_view reply) {
  TextLines lines = MessageLinesOf(reply);
  auto blank = std::find(lines.begin(), lines.end(), std::string());
  TTopReply split;
  split.Header.assign(lines.begin(), blank);
  if (blank == lines.end()) return split;
  split.Body.assign(blank + 1, lines.end());
  return split;
}

TextLines FirstBodyLines(const TextLines& body, std::size_t maxBytes) {
  TextLines first;
  std::size_t bytes = 0;
  for (const std::string& line : body) {
    if (first.size() >= static_cast<std::size_t>(kScanBodyLines)) break;
    if (bytes + line.size() > maxBytes) break;
    bytes += line.size();
    first.push_back(line);
  }
  return first;
}

}  // namespace qb
