// TCustomAsyncSocket: one non-blocking TCP socket that turns the network
// notifications of its hidden window into events. Everything runs on the
// thread that created the object, through the message loop.
//
// Errors: with an OnError handler bound, operations never throw: they return
// -1 or "" and leave the code in LastError(). Without one they throw
// ESocketException with "Error <code> in function <name>" CR LF <text>.
// An exception that escapes a notification goes to OnBgException (by default
// the socket is then aborted); one that escapes a data handler is dropped by
// the receive loop, and counted (DroppedExceptions).
//
// Never free a socket object inside one of its own event handlers.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sys/socket.h>
#include <sys/uio.h>

#include "net/SendQueue.h"
#include "platform/MessageLoop.h"

namespace qb {

enum TSocketState : std::uint8_t {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsSocksConnected,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};

enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// The set of component options.
struct TSocketOptions {
  bool wsoNoReceiveLoop = false;
  bool wsoTcpNoDelay = false;
};

class TCustomAsyncSocket;

using TNotifyEvent = std::function<void(TCustomAsyncSocket* sender)>;
using TSessionEvent = std::function<void(TCustomAsyncSocket* sender, std::uint16_t errCode)>;
using TSendDataEvent = std::function<void(TCustomAsyncSocket* sender, int bytesSent)>;
using TChangeStateEvent =
    std::function<void(TCustomAsyncSocket* sender, TSocketState oldState, TSocketState newState)>;
using TBgExceptionEvent =
    std::function<void(TCustomAsyncSocket* sender, const std::exception& e, bool& canClose)>;

class TCustomAsyncSocket {
 public:
  static constexpr int kInvalidSocket = -1;
  // The most one ReceiveString takes from the network (line mode aside).
  static constexpr int kReadLimit = 256 * 1024;

  TCustomAsyncSocket();
  virtual ~TCustomAsyncSocket();
  TCustomAsyncSocket(const TCustomAsyncSocket&) = delete;
  TCustomAsyncSocket& operator=(const TCustomAsyncSocket&) = delete;

  // Remote address, port and protocol; local address and port. Writers trim
  // the value and may only change it while the socket is closed.
  const std::string& Addr() const { return addr_; }
  void SetAddr(const std::string& value);
  // The address Connect uses for Addr when it was looked up elsewhere (off
  // the main thread): Addr keeps its text, for messages and for TLS, and is
  // not resolved again. SetAddr with another text drops it.
  void SetResolvedAddr(const std::array<std::uint8_t, 4>& address);
  // The same for an IPv6 address. An Addr that is an IPv6 literal ("::1",
  // "[2001:db8::1]") is used as such, without a lookup.
  void SetResolvedAddr6(const std::array<std::uint8_t, 16>& address);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  const std::string& Proto() const { return proto_; }
  void SetProto(const std::string& value);
  const std::string& LocalAddr() const { return localAddr_; }
  void SetLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return localPort_; }
  void SetLocalPort(const std::string& value);

  TSocketState State() const { return state_; }
  int LastError() const { return lastError_; }
  std::int64_t ReadCount() const { return readCount_; }
  virtual int RcvdCount();
  int HSocket() const { return hSocket_; }
  HWND Handle() const { return window_; }
  bool AllSent() const { return allSent_; }
  // The bytes handed to Send that the system has not taken yet.
  std::size_t QueuedCount() const { return sendQueue_.Size(); }
  // Exceptions that escaped a data handler and that the receive loop
  // dropped, over all sockets of the process (main thread only).
  static std::int64_t DroppedExceptions() { return droppedExceptions_; }

  // Flow control between two sockets whose reads feed each other's sends (a
  // session's client and server connections): while one's send queue holds
  // more than its SendQueueBound, the other reads nothing more from the
  // network, until the queue has drained to half the bound. The pairing
  // ends when either socket is freed; a new pairing replaces an older one.
  void PairForFlowControl(TCustomAsyncSocket& other);
  std::size_t SendQueueBound = std::size_t{4} << 20;
  // Whether this socket's reads wait for its peer's queue to drain.
  bool ReadsHeld() const;

  // The interface version, shared by every socket; fixed once the library is loaded.
  int ReqVerLow() const;
  void SetReqVerLow(int value);
  int ReqVerHigh() const;
  void SetReqVerHigh(int value);

  virtual void Connect();
  virtual void Listen();
  int Accept();
  virtual void Dup(int handle);
  void Close();
  void Abort();
  int Send(const void* data, int length);
  int SendString(const std::string& text);
  int Receive(void* buffer, int size);
  std::string ReceiveString();
  // The local port the handle is bound to (a listener on port "0" gets one
  // from the system); 0 without a handle.
  int BoundPort();
  virtual std::string GetPeerAddr();
  virtual std::string GetPeerPort();
  // Applies LingerOnOff and LingerTimeout to the open handle.
  void ApplyLinger();

  // Options.
  std::string Name;
  // The socket object this one belongs to, if any (a session's server connection).
  TCustomAsyncSocket* Owner = nullptr;
  bool ReuseAddr = false;
  TSocketOptions ComponentOptions;
  int ListenBacklog = 5;
  TSocketLingerOnOff LingerOnOff = wsLingerOn;
  int LingerTimeout = 0;
  TSocketSendFlags SendFlags = wsSendNormal;
  bool MultiThreaded = false;

  // Events.
  TSessionEvent OnDataAvailable;
  TSessionEvent OnDataSent;
  TSendDataEvent OnSendData;
  TSessionEvent OnSessionConnected;
  TSessionEvent OnSessionAvailable;
  TSessionEvent OnSessionClosed;
  TChangeStateEvent OnChangeState;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

 protected:
  // The object's message handler; layers above handle their own messages
  // first and pass the rest down.
  virtual LRESULT WndProc(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  // The data-available step of the receive loop; returns whether a handler took it.
  virtual bool TriggerDataAvailable(std::uint16_t errCode);
  virtual void TriggerSessionClosed(std::uint16_t errCode);
  virtual void TriggerSessionAvailable(std::uint16_t errCode);
  // The low-level read under Receive.
  virtual int DoRecv(void* buffer, int size, int flags);
  // The most one ReceiveString reads at a time.
  virtual int ReadLimit() const { return kReadLimit; }

  // `mayHold`: the loop stops when flow control holds the reads.
  void ReceiveLoop(std::uint16_t errCode, bool loop, bool mayHold);
  void ReportSystemError(const std::string& function);
  void ReportError(const std::string& message);
  void HandleBackgroundException(const std::exception& e);
  void ChangeState(TSocketState newState);
  // A read from the network, counted in ReadCount, whatever the layers above buffer.
  int ReceiveFromNetwork(void* buffer, int size);
  // The count of bytes the system holds for this socket; -1 if the query fails.
  int PendingFromNetwork();
  // The three places where bytes meet the handle, for a layer that wraps the
  // stream (TLS): the gathering send of the send queue (returns the count
  // taken, or -1 with the code for WSAGetLastError), the read under every
  // receive (count, 0 at the end, or -1), and the count a read may take now
  // (0 or the error of ioctlsocket).
  virtual int SendToNetwork(const iovec* pieces, int count, int flags);
  virtual int RecvFromNetwork(void* buffer, int size);
  virtual int PendingOnNetwork(unsigned long* pending);
  void PostToSelf(std::uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Turns a listening socket's accept notifications off or back on.
  void SelectAccept(bool enabled);
  bool Destroying() const { return destroying_; }
  int NetworkReads() const { return networkReads_; }

 private:
  void Dispatch(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  void WMAsyncSelect(WPARAM wParam, LPARAM lParam);
  void NotifyConnected(std::uint16_t errCode);
  void NotifyWrite(std::uint16_t errCode);
  void NotifyClose(std::uint16_t errCode);
  void InternalClose(bool shutdownFirst, std::uint16_t errCode);
  void AssignDefaultValue();
  void CloseHandleAfterFailure(const std::string& function);
  void SetOption(int level, int name, int value, const std::string& function);
  void ResolveEndpoints(bool localPort);
  int BindAddr();
  int ConnectRemote();
  void PrepareConnectedSocket();
  void SetRemoteText(std::string& field, bool& assigned, bool& resolved, const std::string& value,
                     const char* name);
  void TryToSend(std::string_view direct = {});
  void ReleasePeerReads();
  void ResumeReads();
  void Unpair();
  void DeleteBufferedData();

  static std::int64_t droppedExceptions_;

  HWND window_ = 0;
  int hSocket_ = kInvalidSocket;
  TSocketState state_ = wsClosed;
  std::string addr_, port_, proto_, localAddr_, localPort_;
  bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = false;
  bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false;
  bool localPortResolved_ = false;
  std::uint32_t addrValue_ = 0;  // network order
  std::array<std::uint8_t, 16> addr6Value_{};
  int family_ = AF_INET;              // or AF_INET6, for addr6Value_
  std::uint16_t portValue_ = 0;       // network order
  std::uint16_t localPortValue_ = 0;  // network order
  int protoValue_ = 6;
  TSendQueue sendQueue_;
  TCustomAsyncSocket* flowPeer_ = nullptr;
  bool readDeferred_ = false;
  bool lastReadShort_ = false;  // the last read got less than it asked for  // a read event came
                                // while the reads were held
  bool allSent_ = true;
  std::int64_t readCount_ = 0;
  int lastError_ = 0;
  bool closeReported_ = false;
  bool destroying_ = false;
  int networkReads_ = 0;
};

}  // namespace qb
