// A POP3 server for tests: RFC 1939 on 127.0.0.1 with an ephemeral port,
// a mailbox held in memory, a log of every command line it received, and
// faults on demand. It runs on threads of its own (one accepting, one per
// session), so sessions may follow one another or overlap.
//
//   ScriptedPop3Server server({"Subject: a\r\n\r\nbody\r\n"});   // alice / secret
//   ... connect a client to server.Port() ...
//   server.WaitForCommand("QUIT", 5s);
//   server.Mailbox();   // what is left after the sessions' deletions
//
// Commands: USER, PASS, STAT, LIST [n], UIDL [n], TOP n m, RETR n (dot-stuffed),
// DELE n, NOOP, RSET, QUIT; anything else gets "-ERR". Keywords ignore case.
// Each session sees the mailbox as it was at its login; its deletions are
// carried out at QUIT, before the "+OK" goes out, so a client that has read
// that reply finds Mailbox() already updated.
//
// CAPA is unknown; FailCommand("CAPA", "+OK\r\nSTLS\r\n.") makes it list
// capabilities (the reply gets its final CR LF added).
//
// Command patterns (for the log and the faults) match word by word: "TOP"
// matches every TOP, "RETR 2" matches "retr 2" but not "RETR 20".
#pragma once

#include "support/LoopbackSockets.h"
#include "support/Pop3Mailbox.h"
#include "support/ScriptedPop3Session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qb::test {

class ScriptedPop3Server {
 public:
  using Milliseconds = std::chrono::milliseconds;

  static constexpr std::string_view kGreeting = "+OK Scripted POP3 server ready\r\n";

  // Starts listening at once. Messages get generated UIDs ("QB000001", ...).
  explicit ScriptedPop3Server(std::vector<std::string> messages = {},
                              Pop3Credentials credentials = {});
  ~ScriptedPop3Server();
  ScriptedPop3Server(const ScriptedPop3Server&) = delete;
  ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

  std::uint16_t Port() const { return port_; }
  // Ends every session, closes the listener and joins the threads. Idempotent.
  void Stop();

  // The mailbox. A message added here shows in the sessions that log in later.
  std::string AddMessage(std::string bytes, std::string uid = {});  // returns the UID
  std::vector<Pop3Message> Mailbox() const { return mailbox_.Messages(); }
  void SetCredentials(Pop3Credentials credentials);

  // The log: every command line received, without its line end, in order.
  std::vector<std::string> Commands() const;
  std::size_t CountCommands(std::string_view pattern) const;
  // Waits until `occurrences` lines matching `pattern` have been received.
  bool WaitForCommand(std::string_view pattern, Milliseconds timeout,
                      std::size_t occurrences = 1) const;
  void ClearCommands();
  std::size_t SessionsAccepted() const;
  std::size_t SessionsEnded() const;
  bool WaitForSessionsEnded(std::size_t count, Milliseconds timeout) const;

  // Faults; each holds until ClearFaults().
  // A pause before every reply (the greeting included).
  void SetReplyDelay(Milliseconds delay);
  // Every reply in pieces of `pieceBytes` with `pause` between them; 0 turns it off.
  void SetTrickle(std::size_t pieceBytes, Milliseconds pause);
  // A command matching `pattern` is not carried out and gets `reply` (CR LF is added).
  void FailCommand(std::string pattern, std::string reply = "-ERR Scripted failure");
  // The reply to a command matching `pattern` stops after `afterBytes` bytes
  // and the server closes the connection; a QUIT cut short deletes nothing.
  void CloseDuringReply(std::string pattern, std::size_t afterBytes);
  // Each new session says nothing, waits for the client's first bytes and
  // closes (a server that gives up in the middle of a TLS handshake).
  void CloseAfterFirstBytes();
  void ClearFaults();

 private:
  struct FailureFault {
    std::string Pattern;
    std::string Reply;
  };
  struct CloseFault {
    std::string Pattern;
    std::size_t AfterBytes = 0;
  };
  struct Faults {
    Milliseconds Delay{0};
    std::size_t TricklePiece = 0;
    Milliseconds TricklePause{0};
    std::vector<FailureFault> Failures;
    std::vector<CloseFault> Closes;
    bool CloseAfterFirstBytes = false;
  };
  struct SessionThread {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Done;
  };

  void AcceptLoop();
  void StartSession(UniqueFd client);
  void JoinFinishedSessions();
  void Serve(int client);
  // Answers one command; false when the session is over.
  bool Answer(int client, ScriptedPop3Session& session, const std::string& line);
  bool Transmit(int client, std::string_view reply);
  void Record(std::string line);
  void RecordSessionEnd();
  Faults CurrentFaults() const;
  Pop3Credentials CurrentCredentials() const;

  Pop3Mailbox mailbox_;
  std::uint16_t port_ = 0;
  UniqueFd listener_;
  UniqueFd stopEvent_;  // readable once Stop() has begun

  mutable std::mutex settingsLock_;
  Pop3Credentials credentials_;
  Faults faults_;

  mutable std::mutex logLock_;
  mutable std::condition_variable logChanged_;
  std::vector<std::string> commands_;
  std::size_t sessionsAccepted_ = 0;
  std::size_t sessionsEnded_ = 0;

  std::mutex sessionsLock_;
  std::vector<SessionThread> sessions_;
  std::thread acceptThread_;
  bool stopped_ = false;
};

}  // namespace qb::test
