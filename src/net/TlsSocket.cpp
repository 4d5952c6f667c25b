#include "net/TlsSocket.h"

#include <openssl/err.h>
#include <poll.h>

#include <algorithm>
#include <cstring>

#include "net/SocketRuntime.h"
#include "platform/AsyncSelect.h"
#include "platform/SocketLibrary.h"
#include "platform/WinsockErrors.h"

namespace qb {

namespace {

constexpr WPARAM kHandshakeTimer = 0x7115;
constexpr int kChunk = 16384;         // one TLS record at most
constexpr int kMaxPull = 256 * 1024;  // ciphertext taken per pull, so one read stays bounded
constexpr std::size_t kCompactAt = 1u << 20;

// The first byte of a TLS record is its content type (change cipher spec,
// alert, handshake, application data, heartbeat); "+OK" is none of them.
bool StartsLikeTls(char first) {
  auto type = static_cast<unsigned char>(first);
  return type >= 20 && type <= 24;
}

using Clock = std::chrono::steady_clock;

}  // namespace

TCustomTlsSocket::~TCustomTlsSocket() {
  MessageLoop::Instance().KillTimer(Handle(), kHandshakeTimer);
}

void TCustomTlsSocket::ResetTls() {
  MessageLoop::Instance().KillTimer(Handle(), kHandshakeTimer);
  ssl_.reset();
  fromNetwork_ = toNetwork_ = nullptr;
  plain_.clear();
  plainStart_ = 0;
  cipherOut_.clear();
  cipherOutStart_ = 0;
  retryWrite_.clear();
  sawFirstByte_ = peerEnded_ = broken_ = recordOpen_ = false;
  phase_ = tpOff;
}

// A new connection starts without TLS, unless TLS was asked for the
// connection being made (StartTls before Connect).
void TCustomTlsSocket::Connect() {
  if (phase_ != tpAwaitingConnect) ResetTls();
  TCustomAsyncSocket::Connect();
}

void TCustomTlsSocket::Dup(int handle) {
  ResetTls();
  TCustomAsyncSocket::Dup(handle);
}

std::string TCustomTlsSocket::PeerName() const {
  return certificateFile_.empty() ? "the server" : "the mail client";
}

std::string TCustomTlsSocket::TlsProtocol() const {
  return TlsActive() ? SSL_get_version(ssl_.get()) : "";
}

void TCustomTlsSocket::StartTls(const std::string& serverName) {
  ResetTls();
  serverName_ = serverName;
  certificateFile_.clear();
  keyFile_.clear();
  if (State() == wsConnected) return BeginHandshake();
  phase_ = tpAwaitingConnect;
}

void TCustomTlsSocket::AcceptTls(const std::string& certificateFile, const std::string& keyFile) {
  ResetTls();
  serverName_.clear();
  certificateFile_ = certificateFile;
  keyFile_ = keyFile;
  if (State() == wsConnected) return BeginHandshake();
  phase_ = tpAwaitingConnect;
}

void TCustomTlsSocket::BeginHandshake() {
  std::string failure;
  ssl_ = certificateFile_.empty() ? NewClientSession(serverName_, failure)
                                  : NewServerSession(certificateFile_, keyFile_, failure);
  if (!ssl_) return Fail(failure);
  fromNetwork_ = BIO_new(BIO_s_mem());
  toNetwork_ = BIO_new(BIO_s_mem());
  // An empty input BIO means "more is coming", not the end of the stream.
  BIO_set_mem_eof_return(fromNetwork_, -1);
  SSL_set_bio(ssl_.get(), fromNetwork_, toNetwork_);
  phase_ = tpHandshaking;
  MessageLoop::Instance().SetTimer(Handle(), kHandshakeTimer, TlsHandshakeTimeout);
  StepHandshake();
}

void TCustomTlsSocket::StepHandshake() {
  int result = SSL_do_handshake(ssl_.get());
  std::string failure;
  if (result != 1) {
    int error = SSL_get_error(ssl_.get(), result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      failure = DescribeHandshakeFailure(ssl_.get(), result);
    }
  }
  CollectCiphertext();  // the next flight, or the alert that tells the server why
  FlushCiphertext();
  if (!failure.empty()) return Fail(failure);
  if (result == 1) Finish("");
}

void TCustomTlsSocket::Fail(const std::string& reason) {
  if (phase_ == tpFailed) return;
  Finish(reason);
}

// Ends the handshake: secured, or failed and aborted, so that nothing is
// ever exchanged in plain text on a connection that asked for TLS.
void TCustomTlsSocket::Finish(const std::string& failure) {
  MessageLoop::Instance().KillTimer(Handle(), kHandshakeTimer);
  phase_ = failure.empty() ? tpSecured : tpFailed;
  if (failure.empty()) Decrypt();  // application data may have come with the last flight
  try {
    if (OnTlsDone) OnTlsDone(this, failure);
  } catch (...) {
    if (!failure.empty() && State() != wsClosed) Abort();
    throw;
  }
  if (!failure.empty()) {
    if (State() != wsClosed) Abort();
    return;
  }
  if (State() != wsConnected) return;
  if (PlainPending() > 0) PostEvent(FD_READ);
  if (!AllSent()) PostEvent(FD_WRITE);  // what was queued meanwhile goes out now
}

void TCustomTlsSocket::PostEvent(long event) {
  PostToSelf(WM_ASYNCSELECT, static_cast<WPARAM>(HSocket()), MakeSelectReply(event, 0));
}

LRESULT TCustomTlsSocket::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kHandshakeTimer) {
    if (phase_ == tpHandshaking) {
      auto seconds = std::chrono::duration_cast<std::chrono::seconds>(TlsHandshakeTimeout).count();
      Fail("the TLS handshake did not finish within " + std::to_string(seconds) + " s");
    }
    return 0;
  }
  bool ours = msg == WM_ASYNCSELECT && phase_ != tpOff && phase_ != tpFailed &&
              static_cast<int>(wParam) == HSocket();
  if (!ours) return TCustomAsyncSocket::WndProc(msg, wParam, lParam);
  long event = SelectEvent(lParam);
  int error = SelectError(lParam);
  if (phase_ == tpAwaitingConnect) {
    if (event & FD_CONNECT) {
      TCustomAsyncSocket::WndProc(msg, wParam, MakeSelectReply(FD_CONNECT, error));
      if (phase_ == tpAwaitingConnect && error == 0 && State() == wsConnected) BeginHandshake();
    }
    event &= ~FD_CONNECT;
    if (phase_ == tpAwaitingConnect) {
      // The connection failed: the core closes it as for any socket.
      if (event) TCustomAsyncSocket::WndProc(msg, wParam, MakeSelectReply(event, error));
      return 0;
    }
  }
  if (phase_ == tpHandshaking) HandshakeEvent(event);
  if (phase_ == tpSecured) SecuredEvent(msg, wParam, event, error);
  return 0;
}

void TCustomTlsSocket::HandshakeEvent(long event) {
  if (event & FD_WRITE) FlushCiphertext();
  if (event & (FD_READ | FD_CLOSE)) {
    Pull();
    if (phase_ == tpHandshaking && fromNetwork_ && BIO_ctrl_pending(fromNetwork_) > 0) {
      StepHandshake();
    }
  }
  if (phase_ == tpHandshaking && ((event & FD_CLOSE) || peerEnded_)) {
    Fail(PeerName() + " closed the connection during the TLS handshake");
  }
}

// Once secured, data events reach the layers above only when there is
// plaintext to read; a read event that brought only part of a record, or a
// record without data, waits for the next one.
void TCustomTlsSocket::SecuredEvent(std::uint32_t msg, WPARAM wParam, long event, int error) {
  if (event & FD_WRITE) FlushCiphertext();
  long passed = event & ~FD_READ;
  if (event & FD_READ) {
    if (PlainPending() == 0) Pull();
    if (PlainPending() > 0) passed |= FD_READ;
  }
  if (passed) TCustomAsyncSocket::WndProc(msg, wParam, MakeSelectReply(passed, error));
  // A stream that TLS can no longer read ends here; the plaintext before the
  // fault has been delivered.
  if (broken_ && PlainPending() == 0 && State() == wsConnected) Abort();
}

int TCustomTlsSocket::Pull() {
  char chunk[kChunk];
  int taken = 0;
  while (!peerEnded_ && taken < kMaxPull) {
    int received = TCustomAsyncSocket::RecvFromNetwork(chunk, sizeof chunk);
    if (received == 0) peerEnded_ = true;
    if (received <= 0) break;  // would block, or an error the close event reports
    if (!sawFirstByte_) {
      sawFirstByte_ = true;
      if (!StartsLikeTls(chunk[0])) {
        Fail(PeerName() + " answered in plain text, not TLS");
        return taken;
      }
    }
    BIO_write(fromNetwork_, chunk, received);
    taken += received;
  }
  if (phase_ == tpSecured) Decrypt();
  return taken;
}

void TCustomTlsSocket::Decrypt() {
  if (plainStart_ == plain_.size()) {
    plain_.clear();
    plainStart_ = 0;
  } else if (plainStart_ >= kCompactAt) {
    plain_.erase(0, plainStart_);
    plainStart_ = 0;
  }
  for (;;) {
    std::size_t before = plain_.size();
    plain_.resize(before + kChunk);
    int count = SSL_read(ssl_.get(), plain_.data() + before, kChunk);
    plain_.resize(before + static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0) continue;
    int error = SSL_get_error(ssl_.get(), count);
    if (error == SSL_ERROR_ZERO_RETURN) {
      peerEnded_ = true;
    } else if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      ERR_clear_error();
      peerEnded_ = broken_ = true;
    }
    break;
  }
  CollectCiphertext();  // a reply the session owes the server (a key update)
  FlushCiphertext();
  // The handshake a waiting write needed is done: the send queue resumes.
  if (!retryWrite_.empty() && SSL_is_init_finished(ssl_.get())) PostEvent(FD_WRITE);
  recordOpen_ = PlainPending() == 0 && !peerEnded_ &&
                (SSL_has_pending(ssl_.get()) == 1 || BIO_ctrl_pending(fromNetwork_) > 0);
}

void TCustomTlsSocket::CollectCiphertext() {
  if (!toNetwork_) return;
  if (cipherOutStart_ == cipherOut_.size()) {
    cipherOut_.clear();
    cipherOutStart_ = 0;
  }
  while (BIO_ctrl_pending(toNetwork_) > 0) {
    std::size_t before = cipherOut_.size();
    auto pending = static_cast<int>(std::min<std::size_t>(BIO_ctrl_pending(toNetwork_), 1u << 20));
    cipherOut_.resize(before + static_cast<std::size_t>(pending));
    int count = BIO_read(toNetwork_, cipherOut_.data() + before, pending);
    cipherOut_.resize(before + static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0) break;
  }
}

// Hands the encrypted bytes to the system; false when some are left (the
// system would block, and its write event comes back here).
bool TCustomTlsSocket::FlushCiphertext() {
  while (cipherOutStart_ < cipherOut_.size()) {
    iovec piece{cipherOut_.data() + cipherOutStart_, cipherOut_.size() - cipherOutStart_};
    int sent = TCustomAsyncSocket::SendToNetwork(&piece, 1, 0);
    if (sent <= 0) return false;
    cipherOutStart_ += static_cast<std::size_t>(sent);
  }
  cipherOut_.clear();
  cipherOutStart_ = 0;
  return true;
}

void TCustomTlsSocket::WaitForRecordEnd() {
  const Clock::time_point giveUp = Clock::now() + TlsRecordWait;
  while (recordOpen_ && PlainPending() == 0 && !peerEnded_) {
    auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now());
    if (remaining.count() <= 0) return;
    pollfd ready{HSocket(), POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(remaining.count())) <= 0) return;
    if (Pull() == 0 && !peerEnded_) return;
  }
}

int TCustomTlsSocket::SendToNetwork(const iovec* pieces, int count, int flags) {
  if (phase_ == tpOff) return TCustomAsyncSocket::SendToNetwork(pieces, count, flags);
  // Nothing leaves unencrypted; and while the system has not taken the last
  // records, no more are made (the write event resumes the queue).
  if (phase_ != tpSecured || !FlushCiphertext()) {
    winsock::WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  // A repeated write takes the first bytes of the pieces; the rest follow.
  int taken = retryWrite_.empty() ? 0 : RetryWrite();
  if (taken < 0) return taken;
  auto skip = static_cast<std::size_t>(taken);
  for (int i = 0; i < count; ++i) {
    const std::size_t part = std::min(skip, pieces[i].iov_len);
    skip -= part;
    const char* bytes = static_cast<const char*>(pieces[i].iov_base) + part;
    const std::size_t length = pieces[i].iov_len - part;
    int written = length > 0 ? SSL_write(ssl_.get(), bytes, static_cast<int>(length)) : 0;
    if (written < 0 && WriteMustWait(written)) retryWrite_.assign(bytes, length);
    if (written < 0) {
      if (taken > 0) break;
      return WriteFailed();
    }
    taken += written;
  }
  CollectCiphertext();
  FlushCiphertext();
  return taken;
}

// OpenSSL wants a write it could not finish repeated with the same buffer
// and length: the copy in retryWrite_. Its bytes are still the first of
// the send queue, so a success takes as many of them.
int TCustomTlsSocket::RetryWrite() {
  const int length = static_cast<int>(retryWrite_.size());
  int written = SSL_write(ssl_.get(), retryWrite_.data(), length);
  if (written < 0 && !WriteMustWait(written)) retryWrite_.clear();
  if (written < 0) return WriteFailed();
  retryWrite_.clear();
  return written;
}

// Whether a failed SSL_write only waits for the handshake (a renegotiation
// the server began wants its next flight): its records go out, and the
// write is repeated once the handshake lets it.
bool TCustomTlsSocket::WriteMustWait(int result) {
  int error = SSL_get_error(ssl_.get(), result);
  if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
  CollectCiphertext();
  FlushCiphertext();
  return true;
}

// "Would block" while a write waits for the handshake, else the connection
// is lost.
int TCustomTlsSocket::WriteFailed() {
  if (!retryWrite_.empty()) {
    winsock::WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  ERR_clear_error();
  winsock::WSASetLastError(WSAECONNABORTED);
  return -1;
}

int TCustomTlsSocket::RecvFromNetwork(void* buffer, int size) {
  if (phase_ == tpOff || phase_ == tpFailed)
    return TCustomAsyncSocket::RecvFromNetwork(buffer, size);
  if (phase_ == tpSecured && PlainPending() == 0) {
    Pull();
    if (PlainPending() == 0 && recordOpen_) WaitForRecordEnd();
  }
  if (PlainPending() > 0 && size > 0) {
    int count = std::min(size, PlainPending());
    std::memcpy(buffer, plain_.data() + plainStart_, static_cast<std::size_t>(count));
    plainStart_ += static_cast<std::size_t>(count);
    return count;
  }
  if (phase_ == tpSecured && peerEnded_) return 0;
  winsock::WSASetLastError(WSAEWOULDBLOCK);
  return -1;
}

int TCustomTlsSocket::PendingOnNetwork(unsigned long* pending) {
  if (phase_ == tpOff || phase_ == tpFailed) return TCustomAsyncSocket::PendingOnNetwork(pending);
  if (phase_ == tpSecured && PlainPending() == 0) Pull();
  *pending = static_cast<unsigned long>(PlainPending());
  return 0;
}

}  // namespace qb
