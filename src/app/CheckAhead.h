// Checking ahead: with the user's leave (a setting, off by default), the
// program checks each known account on its own, at start and on a timer, so
// that new messages are shown for review before the mail client asks.
//
// A check is a POP3 session through the program's own gateway on loopback,
// with the login the account's last session gave (its account#server text,
// TLS suffix included, and its password from the desktop's secret store):
// it logs in and sends LIST, which the gateway holds for the scan and the
// review like any client's, and sends QUIT when the list comes, which
// commits what was decided; it retrieves nothing, so the account's marker
// stays where the mail client left it. The mail client that comes later
// finds everything decided carried out and everything undecided left on
// the server until it is decided.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <set>
#include <string>

#include "app/Unit1.h"
#include "net/AsyncSocket.h"
#include "platform/SecretStore.h"

namespace qb {

class TCheckAhead {
 public:
  TCheckAhead(TForm1& form, ISecretStore& secrets, std::chrono::milliseconds interval);
  ~TCheckAhead();
  TCheckAhead(const TCheckAhead&) = delete;
  TCheckAhead& operator=(const TCheckAhead&) = delete;

  // Remembers the account of every login the server accepted (the account
  // in `checkahead.txt` in the program folder, the password in the secret
  // store), checks the known accounts now and then every interval.
  void Start();
  // Checks every known account, one after the other, unless a review is
  // open or a check is under way.
  void CheckNow();
  bool Checking() const { return socket_ != nullptr; }
  std::set<std::string> KnownAccounts() const { return accounts_; }

  // The checks of the program, started, when the setting allows them
  // (CheckAheadSetting), with the passwords in libsecret; nullptr otherwise.
  static std::unique_ptr<TCheckAhead> StartIfAllowed(TForm1& form);

 private:
  enum class TStep { Greeting, User, Pass, List, Quit };

  void LoginAccepted(const std::string& account, const std::string& password);
  void NextCheck();
  void Connect(const std::string& account, const std::string& password);
  void LineArrived();
  void Send(TStep step, const std::string& line);
  void EndCheck();
  void SaveAccounts();
  std::string AccountsFile() const;

  std::unique_ptr<ISecretStore> ownSecrets_;
  TForm1& form_;
  ISecretStore& secrets_;
  std::chrono::milliseconds interval_;
  HWND window_ = 0;  // the check timer, and the socket's end outside its handler
  std::set<std::string> accounts_;
  std::deque<std::string> due_;
  std::unique_ptr<TAsyncSocket> socket_;
  std::unique_ptr<TAsyncSocket> closed_;  // freed from a posted message
  TStep step_ = TStep::Greeting;
  std::string account_, password_;
  bool listing_ = false;  // the LIST reply's lines are arriving
};

}  // namespace qb
