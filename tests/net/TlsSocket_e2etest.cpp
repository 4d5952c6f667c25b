// The TLS layer of the socket chain against a real Dovecot on its POP3S
// port: line mode, ReceiveString and the data events work unchanged over
// TLS, including a reply of many records read line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "support/DovecotServer.h"
#include "support/PumpUntil.h"
#include "support/TestCertificates.h"
#include "support/UnchangedCounter.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string LargeMessage() {
  std::string text = "From: a@example.org\r\nSubject: large\r\n\r\n";
  for (int line = 0; line < 20000; ++line) {
    text += "line " + std::to_string(line) + " of a message far larger than one TLS record\r\n";
  }
  return text;
}

class TlsSocketLines : public ::testing::Test {
 protected:
  void SetUp() override {
    dovecot.AddMessage("alice", LargeMessage());
    dovecot.Start();
    socket.SetLineMode(true);
    socket.OnDataAvailable = [this](TCustomAsyncSocket*, std::uint16_t) {
      lines.push_back(socket.ReceiveString());
    };
    socket.OnTlsDone = [this](TCustomAsyncSocket*, const std::string& failure) {
      outcomes.push_back(failure);
    };
    socket.SetAddr("127.0.0.1");
  }
  void TearDown() override { dropped.Check(); }
  // Sends a command and returns the reply's first line ("" if none came).
  std::string Command(const std::string& command) {
    lines.clear();
    socket.SendString(command + "\r\n");
    PumpUntil([&] { return !lines.empty(); }, 10s);
    return lines.empty() ? "" : lines[0];
  }
  // Sends a command and gathers the lines of its multi-line reply.
  bool MultiLine(const std::string& command) {
    lines.clear();
    socket.SendString(command + "\r\n");
    return PumpUntil([&] { return !lines.empty() && lines.back() == ".\r\n"; }, 20s);
  }

  TestCertificates certificates;
  ScopedCaFile caFile{certificates.CaFile()};
  DovecotServer dovecot{{.Tls = certificates.Issue()}};
  TAsyncSocket socket;
  std::vector<std::string> lines;
  std::vector<std::string> outcomes;
  test::UnchangedCounter dropped{"exceptions dropped by a receive loop",
                                 &TCustomAsyncSocket::DroppedExceptions};
};

TEST_F(TlsSocketLines, LineModeReadsAWholeSessionOverImplicitTls) {
  socket.SetPort(std::to_string(dovecot.PopsPort()));
  socket.Connect();
  socket.StartTls("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }, 10s)) << dovecot.Log();
  ASSERT_EQ(outcomes, std::vector<std::string>{""});
  EXPECT_TRUE(socket.TlsProtocol() == "TLSv1.3" || socket.TlsProtocol() == "TLSv1.2");
  EXPECT_TRUE(lines[0].starts_with("+OK")) << lines[0];
  ASSERT_TRUE(Command("USER alice").starts_with("+OK"));
  ASSERT_TRUE(Command("PASS secret").starts_with("+OK")) << dovecot.Log();

  ASSERT_TRUE(MultiLine("RETR 1"));
  EXPECT_TRUE(lines[0].starts_with("+OK"));
  std::string body;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) body += lines[i];
  EXPECT_EQ(body, LargeMessage()) << "every line, in order, terminator included";
}

TEST_F(TlsSocketLines, StlsSecuresAConnectionThatBeganInPlainText) {
  socket.SetPort(std::to_string(dovecot.Port()));
  socket.Connect();
  ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }, 10s));
  EXPECT_FALSE(socket.TlsActive());
  ASSERT_TRUE(Command("STLS").starts_with("+OK"));
  socket.StartTls("localhost");
  ASSERT_TRUE(PumpUntil([&] { return !outcomes.empty(); }, 10s));
  ASSERT_EQ(outcomes[0], "");
  EXPECT_TRUE(socket.TlsActive());
  EXPECT_TRUE(Command("USER alice").starts_with("+OK"));
  EXPECT_TRUE(Command("PASS secret").starts_with("+OK")) << dovecot.Log();
  ASSERT_EQ(dovecot.Logins().size(), 1u);
  EXPECT_NE(dovecot.Logins()[0].find(", TLS,"), std::string::npos) << dovecot.Logins()[0];
}

}  // namespace
}  // namespace qb::test
