// TCustomTlsSocket: a TLS client (or, with AcceptTls, server) session over the socket's connection,
// in the chain between the core and line mode. Until StartTls it passes everything through. After
// it, the layer runs the handshake from the socket's own read and write events (OpenSSL on memory
// BIOs, never blocking the loop), and then encrypts what the send queue hands to the network and
// decrypts what the reads take, so SendString, ReceiveString, line mode and the data events work
// unchanged over TLS.
//
// - StartTls on a connected socket begins at once (STLS); on one that is not
//   connected yet (before or after Connect) it begins when the connection is
//   made (implicit TLS).
// - OnTlsDone fires once per StartTls: with "" when the connection is
//   secured, or with the reason in words when it is not. After a failure the
//   layer aborts the connection: nothing goes out or comes in unencrypted.
// - Until the handshake is done, data events are held back; received bytes
//   are not application data.
// - The pending count the receive loop asks includes the plaintext the layer
//   already holds, so nothing sits unread without a new network event.
// - A read made while the start of a record has arrived but not yet its end
//   waits for the rest (at most TlsRecordWait): a reader that polls the
//   handle between reads would otherwise take the empty read for the end.
// - A write during a renegotiation the server began waits for the handshake
//   ("would block" to the send queue) and is repeated with the same buffer
//   and length once it is done, as OpenSSL requires.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "net/CustomAsyncSocket.h"
#include "net/TlsContext.h"

namespace qb {

using TTlsDoneEvent = std::function<void(TCustomAsyncSocket* sender, const std::string& failure)>;

class TCustomTlsSocket : public TCustomAsyncSocket {
 public:
  ~TCustomTlsSocket() override;

  // Begins a TLS client session for `serverName` (SNI and the certificate's
  // host-name check).
  void StartTls(const std::string& serverName);
  // Begins a TLS server session (the mail client's side of the gateway)
  // with the certificate and key of these files.
  void AcceptTls(const std::string& certificateFile, const std::string& keyFile);
  // True once the handshake has succeeded on the current connection.
  bool TlsActive() const { return phase_ == tpSecured; }
  // The protocol of the secured connection ("TLSv1.3"), or "".
  std::string TlsProtocol() const;

  std::chrono::milliseconds TlsHandshakeTimeout{30000};
  std::chrono::milliseconds TlsRecordWait{60000};
  TTlsDoneEvent OnTlsDone;

  void Connect() override;
  void Dup(int handle) override;

 protected:
  LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam) override;
  int SendToNetwork(const iovec* pieces, int count, int flags) override;
  int RecvFromNetwork(void* buffer, int size) override;
  int PendingOnNetwork(unsigned long* pending) override;

 private:
  enum TTlsPhase { tpOff, tpAwaitingConnect, tpHandshaking, tpSecured, tpFailed };

  void ResetTls();
  std::string PeerName() const;  // the other end, in failure texts
  void BeginHandshake();
  void StepHandshake();
  void Fail(const std::string& reason);
  void Finish(const std::string& failure);
  void SecuredEvent(std::uint32_t msg, WPARAM wParam, long event, int error);
  void HandshakeEvent(long event);
  // Moves what the network holds into the session, and, once secured, the
  // plaintext it yields into plain_. Returns the count of bytes taken.
  int Pull();
  void Decrypt();
  void CollectCiphertext();
  bool FlushCiphertext();
  int RetryWrite();
  bool WriteMustWait(int result);
  int WriteFailed();
  void WaitForRecordEnd();
  int PlainPending() const { return static_cast<int>(plain_.size() - plainStart_); }
  void PostEvent(long event);

  TTlsPhase phase_ = tpOff;
  UniqueSsl ssl_;
  BIO* fromNetwork_ = nullptr;  // owned by ssl_
  BIO* toNetwork_ = nullptr;    // owned by ssl_
  std::string serverName_;
  std::string certificateFile_, keyFile_;  // set: this end is the TLS server
  std::string plain_;                      // decrypted, not yet read
  std::size_t plainStart_ = 0;
  std::string cipherOut_;  // encrypted, not yet taken by the system
  std::size_t cipherOutStart_ = 0;
  std::string retryWrite_;  // a write to repeat as it was, once the handshake lets it
  bool sawFirstByte_ = false;
  bool peerEnded_ = false;   // the stream ended: end of file, close_notify, or a fatal error
  bool broken_ = false;      // TLS can read no further (a bad record, an alert)
  bool recordOpen_ = false;  // bytes of a record arrived that gave no plaintext yet
};

}  // namespace qb
