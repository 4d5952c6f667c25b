// The TLS layer against a server that renegotiates (TLS 1.2): OpenSSL's own
// server on a thread, blocking, with a certificate of the test authority.
// It asks for a new handshake right before a reply and answers that
// handshake only once the client has tried to send its next command, so
// the command meets the renegotiation in the middle.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <sys/socket.h>

#include <csignal>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "net/AsyncSocket.h"
#include "support/LoopbackSockets.h"
#include "support/PumpUntil.h"
#include "support/TestCertificates.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

// The first line the session reads, without its CRLF; "" at the end.
std::string ReadLine(SSL* ssl) {
  std::string line;
  char c = 0;
  while (SSL_read(ssl, &c, 1) == 1) {
    if (c == '\n') return line.substr(0, line.size() - (line.ends_with('\r') ? 1 : 0));
    line += c;
  }
  return line;
}

bool WriteLine(SSL* ssl, const std::string& line) {
  std::string text = line + "\r\n";
  return SSL_write(ssl, text.data(), static_cast<int>(text.size())) > 0;
}

// One connection: greeting, then each command answered "+OK <command>";
// before the reply to FIRST it asks for a renegotiation, and it reads on
// only when `clientSent` is ready. What it saw goes to Log.
class RenegotiatingServer {
 public:
  RenegotiatingServer(const TestCertificate& certificate, std::shared_future<void> clientSent)
      : ctx_(SSL_CTX_new(TLS_server_method())), listener_(ListenOnLoopback(port_)) {
    SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_use_certificate_file(ctx_, certificate.CertFile.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(ctx_, certificate.KeyFile.c_str(), SSL_FILETYPE_PEM);
    thread_ = std::thread([this, clientSent] { Serve(clientSent); });
  }
  ~RenegotiatingServer() {
    shutdown(listener_.Get(), SHUT_RDWR);
    Join();
    SSL_CTX_free(ctx_);
  }
  // Waits for the session's end (the client closed).
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  std::uint16_t Port() const { return port_; }
  // Renegotiations the server completed; read after the session.
  long Renegotiations() const { return SSL_CTX_sess_accept_renegotiate(ctx_); }
  std::vector<std::string> Log;  // read after Join

 private:
  void Serve(std::shared_future<void> clientSent) {
    // A write after the client has gone fails here instead of ending the run.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    UniqueFd connection(accept(listener_.Get(), nullptr, nullptr));
    if (!connection.Valid()) return;
    timeval limit{10, 0};  // every read is bounded
    setsockopt(connection.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(ctx_);
    SSL_set_fd(ssl, connection.Get());
    if (SSL_accept(ssl) == 1 && WriteLine(ssl, "+OK ready")) {
      for (std::string command; !(command = ReadLine(ssl)).empty();) {
        Log.push_back(command);
        if (command == "FIRST") {
          bool asked = SSL_renegotiate(ssl) == 1 && SSL_do_handshake(ssl) == 1;
          Log.push_back(asked ? "renegotiation asked" : "no renegotiation");
          WriteLine(ssl, "+OK FIRST");
          if (clientSent.wait_for(10s) != std::future_status::ready) break;
        } else if (!WriteLine(ssl, "+OK " + command)) {
          break;
        }
      }
    }
    ERR_clear_error();
    SSL_free(ssl);
  }

  SSL_CTX* ctx_;
  std::uint16_t port_ = 0;
  UniqueFd listener_;
  std::thread thread_;
};

TEST(TlsRenegotiation, ACommandSentWhileTheServerRenegotiatesWaitsAndGoesOut) {
  TestCertificates certificates;
  ScopedCaFile caFile{certificates.CaFile()};
  std::promise<void> sent;
  RenegotiatingServer server(certificates.Issue(), sent.get_future().share());

  TAsyncSocket socket;
  std::vector<std::string> lines;
  bool closed = false;
  socket.SetLineMode(true);
  socket.OnDataAvailable = [&](TCustomAsyncSocket*, std::uint16_t) {
    lines.push_back(socket.ReceiveString());
  };
  socket.OnSessionClosed = [&](TCustomAsyncSocket*, std::uint16_t) { closed = true; };
  socket.SetAddr("127.0.0.1");
  socket.SetPort(std::to_string(server.Port()));
  socket.Connect();
  socket.StartTls("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }, 10s));
  ASSERT_EQ(lines[0], "+OK ready\r\n");
  EXPECT_EQ(socket.TlsProtocol(), "TLSv1.2");

  socket.SendString("FIRST\r\n");
  ASSERT_TRUE(PumpUntil([&] { return lines.size() == 2; }, 10s));
  EXPECT_EQ(lines[1], "+OK FIRST\r\n");
  // Reading that reply took the server's request: the new handshake runs.
  socket.SendString("SECOND\r\n");
  socket.SendString("THIRD\r\n");
  sent.set_value();
  ASSERT_TRUE(PumpUntil([&] { return lines.size() == 4 || closed; }, 10s));
  EXPECT_FALSE(closed) << "the connection was dropped";
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
            (std::vector<std::string>{"+OK SECOND\r\n", "+OK THIRD\r\n"}));
  socket.Close();
  server.Join();
  EXPECT_EQ(server.Log,
            (std::vector<std::string>{"FIRST", "renegotiation asked", "SECOND", "THIRD"}));
  EXPECT_GE(server.Renegotiations(), 1) << "the new handshake was made";
}

}  // namespace
}  // namespace qb::test
