// A private Dovecot POP3 server for end-to-end tests: its own configuration,
// passwd-file, Maildirs, state and log in a temporary folder, listening on a
// free loopback port. Works whether the test runs as root or not.
//
//   DovecotServer dovecot({.Users = {{"alice", "secret"}}});
//   dovecot.AddMessage("alice", "Subject: hi\r\n\r\nhello\r\n");
//   dovecot.Start();                      // throws std::runtime_error, with the log
//   ... fetch from 127.0.0.1:dovecot.Port() ...
//   EXPECT_TRUE(dovecot.Messages("alice").empty());
//   dovecot.Stop();                       // the destructor stops it too
//
//   DovecotServer secure({.Tls = certificates.Issue()});   // STLS and POP3S only
#pragma once

#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/TestCertificates.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb::test {

struct DovecotOptions {
  std::map<std::string, std::string> Users = {{"alice", "secret"}};
  // Logins written as the gateway's user name ("alice#127.0.0.1:1110") log in
  // as the part before the '#', so a plain relay can stand in for the gateway.
  bool TranslateGatewayLogin = false;
  // Records every session after login under Folder()/rawlog/USER (see RawLog).
  bool RecordSessions = false;
  // With a certificate: "ssl = required" (no login without TLS), STLS on
  // Port() and POP3S on PopsPort().
  std::optional<TestCertificate> Tls = std::nullopt;
};

class DovecotServer {
 public:
  explicit DovecotServer(DovecotOptions options = {});
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  // Starts the master and waits (bounded) until the port greets with "+OK".
  void Start();
  // Stops the master by its pid and waits until its processes are gone.
  void Stop();
  bool Running() const { return master_ != nullptr; }
  std::uint16_t Port() const { return port_; }
  std::uint16_t PopsPort() const { return popsPort_; }

  // Stores a message in the user's Maildir (new/); numbering follows the
  // order of these calls. Allowed before and after Start().
  void AddMessage(const std::string& user, const std::string& bytes);
  // What is left in the user's Maildir (new/ and cur/), in arrival order.
  std::vector<std::string> Messages(const std::string& user) const;

  const TempFolder& Folder() const { return folder_; }
  std::string Log() const;
  // The log's login lines. Dovecot counts a connection from 127.0.0.1 to
  // itself as secured even without TLS: a login over TLS says ", TLS," in
  // its line, one without it ", secured,".
  std::vector<std::string> Logins() const;
  // The commands the user's sessions sent after login (RecordSessions only).
  std::string RawLog(const std::string& user) const;

 private:
  struct Owner {
    uid_t Uid;
    gid_t Gid;
    std::string Name;
    std::string Group;
  };

  static Owner MailOwner();
  void PrepareFolders() const;
  void WritePasswdFile() const;
  void WriteConfig() const;
  std::string ConfigText() const;
  std::string TlsSettings() const;
  std::string UserFolder(const std::string& user) const;
  void GiveToOwner(const std::string& path) const;
  bool WaitForGreeting();

  DovecotOptions options_;
  TempFolder folder_;
  Owner owner_;
  std::uint16_t port_ = 0;
  std::uint16_t popsPort_ = 0;
  std::unique_ptr<ChildProcess> master_;
  unsigned messagesAdded_ = 0;
};

}  // namespace qb::test
