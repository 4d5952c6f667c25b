// The head of an HTTP reply, collected line by line as it arrives: the status
// code and the Content-Length text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

class ReplyHeaders {
 public:
  // One header line, with or without its line end. A status line starts a
  // new reply (an interim reply is forgotten); the empty line ends the head.
  void AddLine(std::string_view line);

  bool Complete() const { return complete_; }
  int Status() const { return status_; }  // 0 when the status line was unreadable
  bool IsSuccess() const { return status_ >= 200 && status_ <= 299; }
  // The Content-Length value as sent, or nullopt when there was none.
  const std::optional<std::string>& ContentLength() const { return contentLength_; }

 private:
  void StartReply(std::string_view statusLine);
  void AddContentLength(std::string_view value);

  bool complete_ = false;
  int status_ = 0;
  std::optional<std::string> contentLength_;
};

// A Content-Length value as a byte count; nullopt unless it is a plain
// decimal number (surrounding blanks allowed) that fits in 63 bits.
std::optional<std::int64_t> ParseContentLength(std::string_view text);

}  // namespace qb
