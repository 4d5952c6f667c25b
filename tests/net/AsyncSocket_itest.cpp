#include "net/AsyncSocket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "net/SocketRuntime.h"
#include "platform/MessageLoop.h"
#include "platform/SocketError.h"
#include "platform/SocketLibrary.h"
#include "support/LoopbackPeer.h"
#include "support/PumpUntil.h"
#include "support/Thrown.h"
#include "support/UnchangedCounter.h"

namespace qb {
namespace {

using test::ConnectToLoopback;
using test::PlainListener;
using test::PumpUntil;
using test::ReadPlain;
using test::SendAll;
using test::Thrown;
using test::UniqueFd;

std::string StateName(TSocketState state) {
  static const char* names[] = {"invalid",   "opened",    "bound",     "connecting", "socks",
                                "connected", "accepting", "listening", "closed"};
  return names[state];
}

// Records the events of a socket as readable lines.
struct EventLog {
  std::vector<std::string> Lines;
  void Attach(TCustomAsyncSocket& socket) {
    socket.OnChangeState = [this](TCustomAsyncSocket*, TSocketState, TSocketState now) {
      Lines.push_back("state " + StateName(now));
    };
    socket.OnSessionConnected = [this](TCustomAsyncSocket*, std::uint16_t error) {
      Lines.push_back("connected " + std::to_string(error));
    };
    socket.OnSessionClosed = [this](TCustomAsyncSocket*, std::uint16_t error) {
      Lines.push_back("closed " + std::to_string(error));
    };
  }
  bool Has(const std::string& line) const {
    return std::find(Lines.begin(), Lines.end(), line) != Lines.end();
  }
};

class AsyncSocketTest : public ::testing::Test {
 protected:
  void TearDown() override {
    MessageLoop::Instance().ProcessMessages();
    EXPECT_EQ(MessageLoop::Instance().WindowCount(), 0u);
    EXPECT_EQ(MessageLoop::Instance().WatchCount(), 0u);
    winsock::InstallSocketFunctions(nullptr);
    dropped.Check();
  }

  static void ConnectTo(TAsyncSocket& socket, int port) {
    socket.SetAddr("127.0.0.1");
    socket.SetPort(std::to_string(port));
    socket.Connect();
  }

  test::UnchangedCounter dropped{"exceptions dropped by a receive loop",
                                 &TCustomAsyncSocket::DroppedExceptions};
};

TEST_F(AsyncSocketTest, RefusedConnectPassesThroughConnectedAndReportsTheErrorThenCloses) {
  int port;
  {
    PlainListener gone;
    port = gone.Port();
  }
  TAsyncSocket socket;
  EventLog log;
  log.Attach(socket);
  ConnectTo(socket, port);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("closed 0"); }));
  EXPECT_EQ(log.Lines,
            (std::vector<std::string>{"state opened", "state connecting", "state connected",
                                      "connected 10061", "state closed", "closed 0"}));
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(AsyncSocketTest, SendOnAClosedSocketFailsWithoutAnotherCloseEvent) {
  TAsyncSocket socket;
  EventLog log;
  log.Attach(socket);
  EXPECT_EQ(Thrown<ESocketException>([&] { socket.Send("x", 1); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  socket.OnError = [](TCustomAsyncSocket*) {};
  EXPECT_EQ(socket.Send("x", 1), -1);
  EXPECT_EQ(socket.LastError(), 10057);
  EXPECT_FALSE(log.Has("closed 10057"));
  EXPECT_EQ(socket.SendString(""), 0) << "an empty text sends nothing and reports nothing";
}

TEST_F(AsyncSocketTest, SendWhileStillConnectingAbandonsTheConnection) {
  PlainListener listener;
  TAsyncSocket socket;
  EventLog log;
  log.Attach(socket);
  socket.OnError = [](TCustomAsyncSocket*) {};
  ConnectTo(socket, listener.Port());
  ASSERT_EQ(socket.State(), wsConnecting);
  EXPECT_EQ(socket.SendString("early"), -1);
  EXPECT_TRUE(log.Has("closed 10057"));
  EXPECT_EQ(socket.State(), wsClosed);
  EXPECT_EQ(socket.HSocket(), TCustomAsyncSocket::kInvalidSocket);
}

TEST_F(AsyncSocketTest, RemoteAddressCanOnlyChangeWhileClosed) {
  PlainListener listener;
  TAsyncSocket socket;
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  EXPECT_EQ(Thrown<ESocketException>([&] { socket.SetAddr("10.0.0.1"); }),
            "Cannot change Addr if not closed");
  EXPECT_EQ(Thrown<ESocketException>([&] { socket.SetPort("99"); }),
            "Cannot change Port if not closed");
  EXPECT_EQ(Thrown<ESocketException>([&] { socket.SetAddr(" 127.0.0.1 "); }), "(nothing thrown)")
      << "writing the value already stored is accepted";
  EXPECT_EQ(socket.GetPeerAddr(), "127.0.0.1");
  EXPECT_EQ(socket.GetPeerPort(), listener.PortText());
  EXPECT_EQ(socket.ReceiveString(), "") << "nothing pending reads as empty at once";
  socket.Close();
  EXPECT_EQ(socket.GetPeerAddr(), "error");
  EXPECT_TRUE(socket.Addr().empty()) << "a close restores the defaults";
  peer.Reset();
}

TEST_F(AsyncSocketTest, BytesLeftUnreadAreHandedToTheHandlerAgainAtOnce) {
  PlainListener listener;
  TAsyncSocket socket;
  std::string received;
  int calls = 0;
  int callsBeforeMarker = -1;
  HWND marker = MessageLoop::Instance().CreateWindow([&](std::uint32_t, WPARAM, LPARAM) {
    callsBeforeMarker = calls;
    return LRESULT{0};
  });
  socket.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    if (calls++ == 0) MessageLoop::Instance().PostMessage(marker, WM_USER);
    char piece[3];
    int n = s->Receive(piece, sizeof piece);
    if (n > 0) received.append(piece, static_cast<std::size_t>(n));
  };
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  SendAll(peer.Get(), "0123456789");
  ASSERT_TRUE(PumpUntil([&] { return callsBeforeMarker >= 0; }));
  EXPECT_EQ(received, "0123456789");
  EXPECT_EQ(callsBeforeMarker, 4) << "all four reads happen before the loop runs anything else";
  EXPECT_EQ(socket.ReadCount(), 10);
  MessageLoop::Instance().DestroyWindow(marker);
  peer.Reset();
}

TEST_F(AsyncSocketTest, APeersCloseIsReportedAfterTheDataBeforeIt) {
  PlainListener listener;
  TAsyncSocket socket;
  EventLog log;
  log.Attach(socket);
  std::string received;
  socket.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    received += s->ReceiveString();
    log.Lines.push_back("data " + std::to_string(received.size()));
  };
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  std::string payload(100000, 'p');
  SendAll(peer.Get(), payload);
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return log.Has("closed 0"); }));
  EXPECT_TRUE(received == payload);
  auto closedAt = std::find(log.Lines.begin(), log.Lines.end(), "closed 0");
  EXPECT_EQ(*(closedAt - 2), "data 100000") << "every byte was handed over before the close";
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(AsyncSocketTest, DataSentFiresFromTheLoopOnceTheQueueHasDrained) {
  PlainListener listener;
  TAsyncSocket socket;
  int sentEvents = 0;
  bool insideSend = false;
  bool firedInsideSend = false;
  std::int64_t bytesReported = 0;
  socket.OnSendData = [&](TCustomAsyncSocket*, int bytes) { bytesReported += bytes; };
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  MessageLoop::Instance().ProcessMessages();
  socket.OnDataSent = [&](TCustomAsyncSocket*, std::uint16_t) {
    ++sentEvents;
    firedInsideSend = firedInsideSend || insideSend;
  };
  // More than the kernel buffers hold, so part of it waits for write events.
  std::string payload(8 * 1024 * 1024, 'd');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
  insideSend = true;
  EXPECT_EQ(socket.SendString(payload), static_cast<int>(payload.size()));
  insideSend = false;
  EXPECT_FALSE(socket.AllSent());
  std::string received = ReadPlain(peer.Get(), payload.size());
  EXPECT_EQ(received.size(), payload.size());
  EXPECT_TRUE(received == payload);
  ASSERT_TRUE(PumpUntil([&] { return sentEvents > 0; }));
  EXPECT_FALSE(firedInsideSend);
  EXPECT_EQ(bytesReported, static_cast<std::int64_t>(payload.size()));
  peer.Reset();
}

TEST_F(AsyncSocketTest, AStreamListenerOnABusyPortFailsEvenWithReuseAddr) {
  PlainListener busy;
  TAsyncSocket listener;
  listener.ReuseAddr = true;
  listener.SetAddr("127.0.0.1");
  listener.SetPort(busy.PortText());
  EXPECT_EQ(Thrown<ESocketException>([&] { listener.Listen(); }),
            "Error 10048 in function Bind\r\nAddress already in use");
  EXPECT_EQ(listener.State(), wsClosed);
  EXPECT_EQ(listener.HSocket(), TCustomAsyncSocket::kInvalidSocket)
      << "the failed handle is released";
}

TEST_F(AsyncSocketTest, AListenerAcceptsIntoADuplicatedSocket) {
  TAsyncSocket listener;
  std::unique_ptr<TAsyncSocket> accepted;
  listener.OnSessionAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    accepted = std::make_unique<TAsyncSocket>();
    accepted->Dup(s->Accept());
  };
  listener.SetAddr("127.0.0.1");
  listener.SetPort("0");
  listener.Listen();
  ASSERT_EQ(listener.State(), wsListening);
  EXPECT_GT(listener.BoundPort(), 0) << "port 0 is given a free port by the system";
  UniqueFd client = ConnectToLoopback(static_cast<std::uint16_t>(listener.BoundPort()));
  ASSERT_TRUE(PumpUntil([&] { return accepted != nullptr; }));
  EXPECT_EQ(accepted->State(), wsConnected);
  accepted->SendString("hello\r\n");
  EXPECT_EQ(ReadPlain(client.Get(), 7), "hello\r\n");
  EXPECT_EQ(Thrown<ESocketException>([&] { accepted->Accept(); }),
            "Error 10022 in function not a listening socket\r\nInvalid argument");
  client.Reset();
  accepted.reset();
}

TEST_F(AsyncSocketTest, AnExceptionFromANotificationAbortsTheSocketUnlessTheHandlerKeepsIt) {
  PlainListener listener;
  for (bool keep : {false, true}) {
    TAsyncSocket socket;
    std::string caught;
    socket.OnSessionConnected = [](TCustomAsyncSocket*, std::uint16_t) {
      throw std::runtime_error("handler failed");
    };
    socket.OnBgException = [&](TCustomAsyncSocket*, const std::exception& e, bool& canClose) {
      caught = e.what();
      canClose = !keep;
    };
    ConnectTo(socket, listener.Port());
    UniqueFd peer = listener.Accept();
    ASSERT_TRUE(PumpUntil([&] { return !caught.empty(); }));
    EXPECT_EQ(caught, "handler failed");
    EXPECT_EQ(socket.State(), keep ? wsConnected : wsClosed);
    peer.Reset();
  }
}

TEST_F(AsyncSocketTest, AnExceptionFromADataHandlerIsDroppedAndCountedAndTheSocketReadsOn) {
  PlainListener listener;
  TAsyncSocket socket;
  std::string received;
  socket.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
    received += s->ReceiveString();
    if (received == "first") throw std::runtime_error("handler failed");
    if (received == "firstsecond") throw 7;
  };
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  std::int64_t before = TCustomAsyncSocket::DroppedExceptions();
  for (const char* piece : {"first", "second", "third"}) {
    std::size_t expected = received.size() + std::string(piece).size();
    SendAll(peer.Get(), piece);
    ASSERT_TRUE(PumpUntil([&] { return received.size() == expected; })) << piece;
  }
  EXPECT_EQ(received, "firstsecondthird");
  EXPECT_EQ(TCustomAsyncSocket::DroppedExceptions() - before, 2);
  EXPECT_EQ(socket.State(), wsConnected);
  dropped.Expect(2);
  peer.Reset();
}

// A relay of two paired sockets: what the source's peer writes, the source
// reads and the sink sends to its own peer, which stops reading. Once the
// sink's queue passes the bound, the source reads nothing more; once the
// reader drains it, every byte arrives in order. Both pairing orders.
TEST_F(AsyncSocketTest, APairedSocketStopsReadingWhileItsPeersQueueIsOverTheBound) {
  constexpr std::size_t kBound = 256 * 1024;
  std::string payload(24u << 20, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 23);
  for (bool sinkFirst : {false, true}) {
    SCOPED_TRACE(sinkFirst ? "paired from the sink" : "paired from the source");
    PlainListener listener;
    TAsyncSocket source, sink;
    if (sinkFirst) {
      sink.PairForFlowControl(source);
    } else {
      source.PairForFlowControl(sink);
    }
    sink.SendQueueBound = kBound;
    source.OnDataAvailable = [&](TCustomAsyncSocket* s, std::uint16_t) {
      sink.SendString(s->ReceiveString());
    };
    ConnectTo(source, listener.Port());
    UniqueFd writer = listener.Accept();
    ConnectTo(sink, listener.Port());
    UniqueFd reader = listener.Accept();
    int small = 64 * 1024;
    setsockopt(reader.Get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(
        PumpUntil([&] { return source.State() == wsConnected && sink.State() == wsConnected; }));
    std::thread write([&] { SendAll(writer.Get(), payload); });

    ASSERT_TRUE(PumpUntil([&] { return source.ReadsHeld(); })) << "the queue passed the bound";
    std::int64_t readWhenHeld = source.ReadCount();
    test::PumpTurns(20, std::chrono::milliseconds(10));
    EXPECT_EQ(source.ReadCount(), readWhenHeld) << "nothing more is read while held";
    EXPECT_LE(sink.QueuedCount(), kBound + TCustomAsyncSocket::kReadLimit);
    EXPECT_LT(static_cast<std::size_t>(readWhenHeld), payload.size());

    std::string received = ReadPlain(reader.Get(), payload.size(), std::chrono::seconds(60));
    write.join();
    EXPECT_EQ(received.size(), payload.size());
    EXPECT_TRUE(received == payload) << "every byte arrives, in order";
    EXPECT_FALSE(source.ReadsHeld());
    writer.Reset();
    reader.Reset();
  }
}

// Failures injected through the socket function table.
SocketFunctionTable failing;

TEST_F(AsyncSocketTest, AFailingSocketCallIsReportedWithItsWindowsNumber) {
  failing = winsock::SystemSocketFunctions();
  failing.socket = [](int, int, int) {
    errno = EMFILE;
    return -1;
  };
  winsock::InstallSocketFunctions(&failing);
  TAsyncSocket socket;
  socket.SetAddr("127.0.0.1");
  socket.SetPort("110");
  EXPECT_EQ(Thrown<ESocketException>([&] { socket.Connect(); }),
            "Error 10024 in function Connect (socket)\r\nToo many open files");
  EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(AsyncSocketTest, ABrokenConnectionWhileSendingClosesTheSocketWithoutASignal) {
  failing = winsock::SystemSocketFunctions();
  failing.sendmsg = [](int, const msghdr*, int flags) -> ssize_t {
    // Every send must ask not to be killed by SIGPIPE.
    errno = (flags & MSG_NOSIGNAL) ? EPIPE : EINVAL;
    return -1;
  };
  PlainListener listener;
  TAsyncSocket socket;
  EventLog log;
  log.Attach(socket);
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  winsock::InstallSocketFunctions(&failing);
  socket.SendString("lost");
  EXPECT_TRUE(log.Has("closed 10054"));
  EXPECT_EQ(socket.State(), wsClosed);
  peer.Reset();
}

TEST_F(AsyncSocketTest, ARealResetPeerNeverKillsTheProcess) {
  PlainListener listener;
  TAsyncSocket socket;
  EventLog log;
  log.Attach(socket);
  ConnectTo(socket, listener.Port());
  UniqueFd peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsConnected; }));
  linger reset{1, 0};
  setsockopt(peer.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == wsClosed; }));
  EXPECT_TRUE(log.Has("closed 10054"));
  socket.OnError = [](TCustomAsyncSocket*) {};
  EXPECT_EQ(socket.SendString("after reset"), -1);
}

}  // namespace
}  // namespace qb
