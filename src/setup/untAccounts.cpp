#include "setup/untAccounts.h"

#include "platform/Dialogs.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryKeyGuard.h"
#include "setup/AccountBackup.h"
#include "setup/RegistryHelper.h"
#include "setup/ThunderbirdAccounts.h"

#include <array>
#include <optional>

namespace qb {

namespace {

// GetDefaultAccountKey and the store probe read into a buffer of this size.
constexpr DWORD kFixedBufferSize = 2049;
constexpr std::string_view kFirstAccountKey = "00000001";
constexpr std::string_view kBackupFileName = "accounts.bck";
constexpr char kLoginDelimiter = '#';

std::string AccountsKeyPath(AccountStore store) {
  return std::string(StoreKeyPath(store)) + "\\Accounts";
}

std::optional<std::string> WithinPathLimit(std::string path) {
  if (path.size() > kMaxAccountPathLength) return std::nullopt;
  return path;
}

// A name with a backslash would reach into another key.
std::optional<std::string> AccountKeyPath(AccountStore store, std::string_view accountKey) {
  if (accountKey.find('\\') != std::string_view::npos) return std::nullopt;
  return WithinPathLimit(AccountsKeyPath(store) + '\\' + std::string(accountKey));
}

std::optional<std::string> AccountValuePath(AccountStore store, std::string_view accountKey,
                                            std::string_view valueName) {
  std::optional<std::string> keyPath = AccountKeyPath(store, accountKey);
  if (!keyPath) return std::nullopt;
  return WithinPathLimit(*keyPath + '\\' + std::string(valueName));
}

// The value read into a fixed buffer, whatever its type, up to the first NUL;
// "" when the key or value is missing or does not fit.
std::string ReadFixedBufferText(const std::string& keyPath, const char* valueName) {
  RegistryKeyGuard key = RegistryKeyGuard::Open(HKEY_CURRENT_USER, keyPath, KEY_READ);
  if (!key.IsOpen()) return "";
  std::array<char, kFixedBufferSize> buffer{};
  DWORD size = kFixedBufferSize;
  if (RegQueryValueExA(key.Get(), valueName, nullptr,
                       reinterpret_cast<unsigned char*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return "";
  }
  buffer.back() = '\0';
  return buffer.data();
}

bool HoldsAccount(AccountStore store, const std::string& accountKey) {
  std::optional<std::string> keyPath = AccountKeyPath(store, accountKey);
  return keyPath && !ReadFixedBufferText(*keyPath, "SMTP Display Name").empty();
}

std::string DefaultAccountName() {
  for (AccountStore store :
       {AccountStore::asOffice8, AccountStore::asOffice, AccountStore::asInternetAccountManager}) {
    std::string name = GetDefaultAccountKey(store);
    if (!name.empty()) return name;
  }
  return std::string(kFirstAccountKey);
}

bool IsAccountKeyUsable(AccountStore store, std::string_view accountKey) {
  return store != AccountStore::asNone && accountKey.size() >= kAccountKeyNameLength;
}

}  // namespace

std::string_view StoreKeyPath(AccountStore store) {
  switch (store) {
    case AccountStore::asOffice8:
      return "Software\\Microsoft\\Office\\8.0\\Outlook\\OMI Account Manager";
    case AccountStore::asOffice:
      return "Software\\Microsoft\\Office\\Outlook\\OMI Account Manager";
    case AccountStore::asInternetAccountManager:
      return "Software\\Microsoft\\Internet Account Manager";
    default:
      return "";
  }
}

std::string GetDefaultAccountKey(AccountStore store) {
  if (store == AccountStore::asNone) return "";
  if (store == AccountStore::asThunderbird) return ThunderbirdDefaultAccountKey();
  return ReadFixedBufferText(std::string(StoreKeyPath(store)), "Default Mail Account");
}

AccountStore DetectAccountStore() {
  const std::string name = DefaultAccountName();
  AccountStore found = AccountStore::asNone;
  for (AccountStore store :
       {AccountStore::asInternetAccountManager, AccountStore::asOffice8, AccountStore::asOffice}) {
    if (HoldsAccount(store, name)) found = store;
  }
  if (found == AccountStore::asNone && !ThunderbirdDefaultAccountKey().empty()) {
    found = AccountStore::asThunderbird;
  }
  return found;
}

TAccountList ListAccounts(AccountStore store) {
  TAccountList list;
  if (store == AccountStore::asNone) return list;
  if (store == AccountStore::asThunderbird) return ListThunderbirdAccounts();
  std::optional<std::string> subkeys = RegEnumSubKeys(HKEY_CURRENT_USER, AccountsKeyPath(store));
  if (!subkeys) return list;
  list.keys = SplitLines(*subkeys);
  for (const std::string& key : list.keys) {
    std::optional<std::string> path = AccountValuePath(store, key, "Account Name");
    std::optional<std::string> name = path ? RegReadString(HKEY_CURRENT_USER, *path) : std::nullopt;
    list.names += name.value_or("") + "\r\n";
  }
  return list;
}

std::string ReadAccountString(AccountStore store, std::string_view accountKey,
                              std::string_view valueName) {
  if (store == AccountStore::asThunderbird) {
    return ReadThunderbirdAccountString(accountKey, valueName);
  }
  if (!IsAccountKeyUsable(store, accountKey)) return "";
  std::optional<std::string> path = AccountValuePath(store, accountKey, valueName);
  if (!path) return "";
  return RegReadString(HKEY_CURRENT_USER, *path).value_or("");
}

bool WriteAccountString(AccountStore store, std::string_view accountKey, std::string_view valueName,
                        std::string_view text, const std::string& programFolder) {
  if (store == AccountStore::asThunderbird || !IsAccountKeyUsable(store, accountKey)) return false;
  std::optional<std::string> path = AccountValuePath(store, accountKey, valueName);
  if (!path) return false;
  BackupRegistryKey(HKEY_CURRENT_USER, *AccountKeyPath(store, accountKey) + '\\',
                    programFolder + std::string(kBackupFileName), true);
  return RegWriteString(HKEY_CURRENT_USER, *path, text);
}

TRewriteResult RewriteAccountsForGateway(AccountStore store, const std::vector<std::string>& keys,
                                         const std::vector<std::string>& displayedLines,
                                         const std::vector<std::size_t>& chosen,
                                         const std::string& programFolder, int gatewayPort) {
  if (store == AccountStore::asThunderbird) {
    return RewriteThunderbirdAccounts(keys, displayedLines, chosen, gatewayPort);
  }
  TRewriteResult result;
  for (std::size_t index : chosen) {
    const std::string& key = keys.at(index);
    const std::string server = ReadAccountString(store, key, "POP3 Server");
    const std::string user = ReadAccountString(store, key, "POP3 User Name");
    if (server == kGatewayHost) {
      CurrentDialogs().ShowMessageBox("No modification was done to " + displayedLines.at(index),
                                      TMsgDlgType::mtInformation);
      continue;
    }
    // A server changed without its user name would log in to the gateway
    // without a server to go to: then the server is put back.
    bool written = WriteAccountString(store, key, "POP3 Server", kGatewayHost, programFolder);
    if (written && !WriteAccountString(store, key, "POP3 User Name",
                                       user + kLoginDelimiter + server, programFolder)) {
      WriteAccountString(store, key, "POP3 Server", server, programFolder);
      written = false;
    }
    if (written) {
      ++result.Changed;
    } else {
      result.Failed.push_back({displayedLines.at(index), "its settings could not be written"});
    }
  }
  return result;
}

}  // namespace qb
