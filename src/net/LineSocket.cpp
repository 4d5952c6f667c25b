#include "net/LineSocket.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "net/SocketRuntime.h"

namespace qb {

void TCustomLineSocket::SetLineMode(bool value) {
  if (value == lineMode_) return;
  lineMode_ = value;
  if (rcvdCnt_ > 0 || lineLength_ > 0) PostToSelf(WM_TRIGGER_DATA_AVAILABLE);
}

int TCustomLineSocket::RcvdCount() {
  if (lineMode_) return lineLength_;
  if (rcvdCnt_ > 0) return rcvdCnt_;
  return TCustomAsyncSocket::RcvdCount();
}

int TCustomLineSocket::ReadLimit() const {
  return lineMode_ ? std::numeric_limits<int>::max() : TCustomAsyncSocket::ReadLimit();
}

LRESULT TCustomLineSocket::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_TRIGGER_DATA_AVAILABLE) return TCustomTlsSocket::WndProc(msg, wParam, lParam);
  RedeliverBuffered();
  return 0;
}

// Reads come from the line being delivered, or from what is buffered once
// line mode is off; only then from the network.
int TCustomLineSocket::DoRecv(void* buffer, int size, int flags) {
  int available = lineMode_ ? lineLength_ : rcvdCnt_;
  if (available <= 0 || size <= 0) return TCustomAsyncSocket::DoRecv(buffer, size, flags);
  int count = std::min(size, available);
  std::memcpy(buffer, Front(), static_cast<std::size_t>(count));
  Consume(count);
  if (lineMode_) lineLength_ -= count;
  return count;
}

void TCustomLineSocket::Consume(int count) {
  rcvdStart_ += count;
  rcvdCnt_ -= count;
  if (rcvdCnt_ == 0) rcvdStart_ = 0;
}

void TCustomLineSocket::DropBuffered() {
  rcvdStart_ = 0;
  rcvdCnt_ = 0;
  lineLength_ = 0;
  ++bufferGeneration_;
}

// Room for `count` more bytes behind the buffered ones; the consumed bytes
// at the front are shifted out only here.
void TCustomLineSocket::ReserveForRead(int count) {
  if (rcvdStart_ > 0) {
    std::memmove(rcvdBuf_.data(), Front(), static_cast<std::size_t>(rcvdCnt_));
    rcvdStart_ = 0;
  }
  std::size_t needed = static_cast<std::size_t>(rcvdCnt_) + static_cast<std::size_t>(count) + 1;
  if (rcvdBuf_.size() < needed) rcvdBuf_.resize(needed);
}

int TCustomLineSocket::FindLineEnd(int from) const {
  std::string_view buffered(rcvdBuf_.data() + rcvdStart_, static_cast<std::size_t>(rcvdCnt_));
  std::size_t found = buffered.find(LineEnd, static_cast<std::size_t>(from));
  return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

// Applies backspace and tab editing to the `count` bytes received behind
// the `start` bytes already buffered, echoing what it keeps when LineEcho is
// on. Returns the new buffered count.
int TCustomLineSocket::EditReceived(int start, int count) {
  std::string kept(Front(), static_cast<std::size_t>(start));
  std::string echo;
  for (char c : std::string(Front() + start, static_cast<std::size_t>(count))) {
    if (c == '\b') {
      if (kept.empty()) continue;
      kept.pop_back();
      echo += c;
    } else if (c == '\t') {
      do {
        kept += ' ';
        echo += ' ';
      } while (kept.size() % 8 != 0);
    } else {
      kept += c;
      echo += c;
    }
  }
  rcvdCnt_ = 0;
  ReserveForRead(static_cast<int>(kept.size()));
  std::memcpy(rcvdBuf_.data(), kept.data(), kept.size());
  if (LineEcho && !echo.empty()) SendString(echo);
  return static_cast<int>(kept.size());
}

// Hands the current line to the handler until it has been read. A handler
// that reads nothing of it would be called for ever: the line is dropped.
// Returns false when the buffer was dropped meanwhile (the handler closed).
bool TCustomLineSocket::DeliverCurrentLine() {
  unsigned generation = bufferGeneration_;
  while (lineMode_ && lineLength_ > 0) {
    if (!OnDataAvailable) {
      Consume(lineLength_);
      lineLength_ = 0;
      break;
    }
    int before = lineLength_;
    OnDataAvailable(this, 0);
    if (generation != bufferGeneration_) return false;
    if (lineLength_ == before) {
      Consume(lineLength_);
      lineLength_ = 0;
    }
  }
  if (!lineMode_) lineLength_ = 0;  // an unread part stays at the front
  return true;
}

// With line mode switched off, buffered bytes go to the plain handler.
bool TCustomLineSocket::DeliverBufferedRaw() {
  unsigned generation = bufferGeneration_;
  while (!lineMode_ && rcvdCnt_ > 0) {
    int before = rcvdCnt_;
    if (!TCustomAsyncSocket::TriggerDataAvailable(0) || rcvdCnt_ == before) {
      if (generation == bufferGeneration_) DropBuffered();
      return false;
    }
    if (generation != bufferGeneration_) return false;
  }
  return true;
}

void TCustomLineSocket::CheckLineLimit() {
  if (LineLimit <= 0 || rcvdCnt_ <= LineLimit) return;
  bool clearData = true;
  if (OnLineLimitExceeded) OnLineLimitExceeded(this, rcvdCnt_, clearData);
  if (clearData) DropBuffered();
}

bool TCustomLineSocket::TriggerDataAvailable(std::uint16_t errCode) {
  if (!lineMode_ || LineEnd.empty()) return TCustomAsyncSocket::TriggerDataAvailable(errCode);
  int pending = PendingFromNetwork();
  if (pending < 0) return true;
  if (pending == 0) pending = 255;
  ReserveForRead(pending);
  // One byte more than pending (ReserveForRead left room): a read that
  // drains the socket comes back short.
  int received = ReceiveFromNetwork(rcvdBuf_.data() + rcvdCnt_, pending + 1);
  if (received < 1) {
    if (rcvdCnt_ == 0) return true;
    received = 0;
  }
  int previous = rcvdCnt_;
  int total = previous + received;
  if (received > 0 && LineEdit) {
    total = EditReceived(previous, received);
  } else if (received > 0 && LineEcho) {
    SendString(std::string(Front() + previous, static_cast<std::size_t>(received)));
  }
  // Resume just before the previous end, so a terminator split across two
  // reads is found.
  int searchFrom = std::max(0, std::min(previous, total) - static_cast<int>(LineEnd.size()));
  rcvdCnt_ = total;
  for (;;) {
    if (!lineMode_) return true;
    int at = FindLineEnd(searchFrom);
    if (at < 0) break;
    lineLength_ = at + static_cast<int>(LineEnd.size());
    lineFound_ = true;
    if (!DeliverCurrentLine() || !DeliverBufferedRaw()) return true;
    searchFrom = 0;
  }
  CheckLineLimit();
  return true;
}

void TCustomLineSocket::RedeliverBuffered() {
  int passes = 0;
  while (rcvdCnt_ > 0) {
    int before = rcvdCnt_;
    lineFound_ = false;
    TriggerDataAvailable(0);
    if (rcvdCnt_ == 0) break;
    ++passes;
    if (lineMode_ ? (passes > 3 && !lineFound_) : rcvdCnt_ == before) break;
  }
}

// A final line without terminator still reaches the handler before the
// session-closed event.
void TCustomLineSocket::TriggerSessionClosed(std::uint16_t errCode) {
  if (lineMode_ && rcvdCnt_ > 0) {
    lineLength_ = rcvdCnt_;
    DeliverCurrentLine();
  }
  DropBuffered();
  rcvdBuf_.clear();
  rcvdBuf_.shrink_to_fit();
  TCustomAsyncSocket::TriggerSessionClosed(errCode);
}

}  // namespace qb
