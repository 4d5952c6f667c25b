// The mail client's POP3 accounts: which account store holds the default
// account (the three registry stores, then Thunderbird's profiles), the list
// of accounts, and the rewrite that points an account at the gateway
// ("localhost", user name "<account>#<server>") after saving its settings.
//
// Account value paths longer than kMaxAccountPathLength characters are
// refused rather than cut short: the operation reads and writes nothing, so
// a write can never land on another key than the one meant.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class AccountStore {
  asNone = 0,  // no store holds the default account
  asOffice8 = 1,
  asOffice = 2,
  asInternetAccountManager = 3,
  asThunderbird = 4,  // Thunderbird's profiles (setup/ThunderbirdAccounts)
};

constexpr std::size_t kMaxAccountPathLength = 255;
// Account key names shorter than this are never read or written.
constexpr std::size_t kAccountKeyNameLength = 8;
// The gateway's port when nothing else is said (the service "pop3").
constexpr int kDefaultGatewayPort = 110;
inline constexpr const char* kGatewayHost = "localhost";

// The store's key under HKEY_CURRENT_USER; "" for asNone.
std::string_view StoreKeyPath(AccountStore store);

// "Default Mail Account" of the store; "" when missing.
std::string GetDefaultAccountKey(AccountStore store);

// The store whose "Accounts" key holds the default account (the first default
// named by asOffice8, asOffice, asInternetAccountManager, else "00000001").
// When several do, asOffice wins over asOffice8 over asInternetAccountManager.
// When none does, asThunderbird if a Thunderbird profile has a default account.
AccountStore DetectAccountStore();

struct TAccountList {
  std::vector<std::string> keys;  // account key names, in registry order
  std::string names;              // "Account Name" of each key, each + CR LF
};
TAccountList ListAccounts(AccountStore store);

std::string ReadAccountString(AccountStore store, std::string_view accountKey,
                              std::string_view valueName);

// Saves the account key to `programFolder` + "accounts.bck", then writes the
// value. Throws EBackupError (and writes nothing) when the backup fails.
// Whether the value was written. Registry stores only.
bool WriteAccountString(AccountStore store, std::string_view accountKey, std::string_view valueName,
                        std::string_view text, const std::string& programFolder);

// An account the rewrite could not change, and why.
struct TAccountFailure {
  std::string Account;  // its line in the displayed list
  std::string Reason;
};

struct TRewriteResult {
  std::size_t Changed = 0;  // accounts now pointing at the gateway
  std::vector<TAccountFailure> Failed;
};

// Points each chosen account (indices into `keys` and `displayedLines`, in
// the given order) at the gateway listening on `gatewayPort`. An account
// already on "localhost" is left alone and a message box says so. A value
// that cannot be written is a failure of that account, and the loop goes
// on. A backup failure throws EBackupError and stops the loop.
TRewriteResult RewriteAccountsForGateway(AccountStore store, const std::vector<std::string>& keys,
                                         const std::vector<std::string>& displayedLines,
                                         const std::vector<std::size_t>& chosen,
                                         const std::string& programFolder,
                                         int gatewayPort = kDefaultGatewayPort);

}  // namespace qb
