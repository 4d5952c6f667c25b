// Thunderbird's profiles as an account store. An account key is the profile
// folder and the server's key joined by "|" ("/home/ann/.thunderbird/x.default|server2").
// The POP3 accounts of a profile's prefs.js are listed in the order of
// mail.accountmanager.accounts, and a chosen one is rewritten to fetch from
// the gateway:
//   hostname   localhost           port      the gateway's port
//   userName   user#host[:port][/tls|/starttls]
//   socketType 0 (plain, to localhost)
// The real server's port is written only when it is not 110; its TLS setting
// goes into the login: "/tls" for TLS from the start (socketType 3),
// "/starttls" for STARTTLS required (2), nothing otherwise.
//
// Before any change of a profile: a profile that a running Thunderbird holds
// is refused; prefs.js is copied beside itself with a time stamp
// ("prefs.js.quillbright-YYYYMMDD-HHMMSS.bak"); then it is rewritten whole
// through a temporary file and a rename, with only the changed values
// touched. A user.js that sets any of those preferences would undo the
// change at Thunderbird's next start, and is reported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/ThunderbirdPrefs.h"
#include "setup/untAccounts.h"

namespace qb {

// One incoming server of prefs.js (mail.server.<Key>.*), as Thunderbird uses it.
struct TThunderbirdServer {
  std::string Key;  // "server1"
  std::string Type;
  std::string Name;
  std::string Host;  // realhostname when set, else hostname
  std::string User;  // realuserName when set, else userName
  std::int64_t Port = 0;
  std::int64_t SocketType = 0;
  std::int64_t AuthMethod = 0;  // 0 when not set
};

// The servers of the accounts, in the order of mail.accountmanager.accounts.
std::vector<std::string> AccountServerKeys(const TPrefsFile& prefs);
// The server of the default account (mail.accountmanager.defaultaccount),
// else of the first account; "" when there is none.
std::string DefaultServerKey(const TPrefsFile& prefs);
TThunderbirdServer ReadServer(const TPrefsFile& prefs, const std::string& key);

// The login the gateway takes for a server: user#host, ":port" when the
// port is not 110, and the TLS suffix of the socket type.
std::string GatewayLogin(const TThunderbirdServer& server);

// Points the server at the gateway in `prefs`. Returns the names of the
// preferences it set.
std::vector<std::string> RewriteServerForGateway(TPrefsFile& prefs,
                                                 const TThunderbirdServer& server, int gatewayPort);

// The store's operations, over FindThunderbirdProfiles().
std::string ThunderbirdDefaultAccountKey();
TAccountList ListThunderbirdAccounts();
// "Account Name", "POP3 Server" (the real server of a POP3 account, "" for
// other kinds), "POP3 User Name", "POP3 Port", "POP3 Security" ("TLS",
// "STARTTLS" or "none") and "Gateway Login" (what the rewrite would set).
std::string ReadThunderbirdAccountString(std::string_view accountKey, std::string_view valueName);
TRewriteResult RewriteThunderbirdAccounts(const std::vector<std::string>& keys,
                                          const std::vector<std::string>& displayedLines,
                                          const std::vector<std::size_t>& chosen, int gatewayPort);

// The servers of `backup` that the gateway took over since, by name.
std::vector<TThunderbirdServer> RestorableServers(const TPrefsFile& current,
                                                  const TPrefsFile& backup);

// The backups of a profile's prefs.js, oldest first.
std::vector<std::string> ThunderbirdBackups(const std::string& profileFolder);

// "Undo setup": in every profile, the accounts that point at the gateway
// and did not in the newest backup get their server settings back from it.
// Reports what it did in message boxes, NothingToUndoText() when no profile
// had anything to undo; the number of accounts restored.
std::size_t UndoThunderbirdSetup();
std::string NothingToUndoText();

}  // namespace qb
