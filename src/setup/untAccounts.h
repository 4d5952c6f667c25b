// The mail client's POP3 accounts in the current user's registry: which of
// the three account stores holds the default account, the list of accounts,
// and the rewrite that points an account at the gateway ("localhost", user
// name "<account>#<server>") after saving its key to the backup file.
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
};

constexpr std::size_t kMaxAccountPathLength = 255;
// Account key names shorter than this are never read or written.
constexpr std::size_t kAccountKeyNameLength = 8;

// The store's key under HKEY_CURRENT_USER; "" for asNone.
std::string_view StoreKeyPath(AccountStore store);

// "Default Mail Account" of the store; "" when missing.
std::string GetDefaultAccountKey(AccountStore store);

// The store whose "Accounts" key holds the default account (the first default
// named by asOffice8, asOffice, asInternetAccountManager, else "00000001").
// When several do, asOffice wins over asOffice8 over asInternetAccountManager.
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
void WriteAccountString(AccountStore store, std::string_view accountKey, std::string_view valueName,
                        std::string_view text, const std::string& programFolder);

// Points each chosen account (indices into `keys` and `displayedLines`, in
// the given order) at the gateway. An account already on "localhost" is left
// alone and a message box says so. A backup failure stops the loop.
void RewriteAccountsForGateway(AccountStore store, const std::vector<std::string>& keys,
                               const std::vector<std::string>& displayedLines,
                               const std::vector<std::size_t>& chosen,
                               const std::string& programFolder);

}  // namespace qb
