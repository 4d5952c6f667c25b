// TCustomLineSocket: line mode on top of the TLS layer (which passes plain
// connections straight through). With LineMode on, received bytes are cut
// into lines ending with LineEnd, and each line is handed to OnDataAvailable
// on its own; ReceiveString inside the handler reads exactly that line,
// terminator included.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "net/TlsSocket.h"

namespace qb {

using TLineLimitEvent =
    std::function<void(TCustomAsyncSocket* sender, int rcvdLength, bool& clearData)>;

class TCustomLineSocket : public TCustomTlsSocket {
 public:
  bool LineMode() const { return lineMode_; }
  // A change with data waiting re-delivers that data in the new mode, through
  // a posted message.
  void SetLineMode(bool value);

  std::string LineEnd = "\r\n";  // any length; empty delivers raw data
  int LineLimit = 65536;         // 0 or less: no limit
  bool LineEcho = false;
  bool LineEdit = false;
  TLineLimitEvent OnLineLimitExceeded;

  // In line mode, the length of the line being delivered.
  int RcvdCount() override;
  int BufferedCount() const { return rcvdCnt_; }

 protected:
  LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) override;
  bool TriggerDataAvailable(std::uint16_t errCode) override;
  void TriggerSessionClosed(std::uint16_t errCode) override;
  int DoRecv(void* buffer, int size, int flags) override;
  // A line is read whole, however long.
  int ReadLimit() const override;

 private:
  char* Front() { return rcvdBuf_.data() + rcvdStart_; }
  void ReserveForRead(int count);
  void Consume(int count);
  void DropBuffered();
  int EditReceived(int start, int count);
  int FindLineEnd(int from) const;
  bool DeliverCurrentLine();
  bool DeliverBufferedRaw();
  void CheckLineLimit();
  void RedeliverBuffered();

  bool lineMode_ = false;
  std::vector<char> rcvdBuf_;
  int rcvdStart_ = 0;   // where the buffered bytes begin in rcvdBuf_
  int rcvdCnt_ = 0;     // bytes buffered
  int lineLength_ = 0;  // the line being delivered, terminator included
  bool lineFound_ = false;
  unsigned bufferGeneration_ = 0;  // changes whenever the buffer is dropped
};

}  // namespace qb
