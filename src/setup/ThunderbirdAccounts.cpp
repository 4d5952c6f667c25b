#include "setup/ThunderbirdAccounts.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "setup/AccountBackup.h"
#include "setup/ThunderbirdProfiles.h"

namespace qb {

namespace {

constexpr char kKeySeparator = '|';
constexpr const char* kPrefsFile = "prefs.js";
constexpr const char* kUserFile = "user.js";
constexpr const char* kBackupPrefix = "prefs.js.quillbright-";
constexpr const char* kBackupSuffix = ".bak";
constexpr std::int64_t kPlainPop3Port = 110;
constexpr std::int64_t kPop3sPort = 995;
constexpr std::int64_t kSocketStartTls = 2;
constexpr std::int64_t kSocketTls = 3;
constexpr std::int64_t kAuthPasswordCleartext = 3;
constexpr std::int64_t kAuthPasswordEncrypted = 4;
constexpr std::int64_t kAuthOAuth2 = 10;

// The server preferences the rewrite may set; "Undo setup" puts back all of them.
constexpr const char* kServerPrefNames[] = {
    "hostname", "port", "userName", "socketType", "authMethod", "realhostname", "realuserName"};

std::string ServerPref(const std::string& key, std::string_view name) {
  return "mail.server." + key + "." + std::string(name);
}

std::vector<std::string> SplitAtCommas(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = std::min(text.find(',', start), text.size());
    std::string_view part = text.substr(start, end - start);
    std::size_t first = part.find_first_not_of(' ');
    if (first != std::string_view::npos) {
      parts.emplace_back(part.substr(first, part.find_last_not_of(' ') - first + 1));
    }
    start = end + 1;
  }
  return parts;
}

struct TAccountKey {
  std::string ProfileFolder;
  std::string ServerKey;
};

std::optional<TAccountKey> SplitAccountKey(std::string_view key) {
  std::size_t separator = key.rfind(kKeySeparator);
  if (separator == std::string_view::npos) return std::nullopt;
  return TAccountKey{std::string(key.substr(0, separator)), std::string(key.substr(separator + 1))};
}

// "" for a key without a profile part: no server of prefs.js has that name.
std::string ServerKeyOf(std::string_view accountKey) {
  std::optional<TAccountKey> key = SplitAccountKey(accountKey);
  return key ? key->ServerKey : "";
}

std::optional<TPrefsFile> LoadPrefs(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  return TPrefsFile::Parse(std::move(*text));
}

bool IsPop3(const TThunderbirdServer& server) {
  return server.Type == "pop3";
}

std::string TimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// A backup name that does not exist yet: the time stamp, and a counter
// when several backups fall into the same second.
std::string NewBackupPath(const std::string& profileFolder) {
  const std::string stamp = TimeStamp();
  for (int counter = 0;; ++counter) {
    std::string path = profileFolder + kBackupPrefix + stamp +
                       (counter ? "-" + std::to_string(counter) : "") + kBackupSuffix;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) return path;
  }
}

// (time stamp, counter) of a backup file name; nullopt for other files.
std::optional<std::pair<std::string, long>> BackupOrder(const std::string& name) {
  std::string_view text = name;
  std::string_view prefix = kBackupPrefix, suffix = kBackupSuffix;
  if (text.size() < prefix.size() + suffix.size() + 15 || text.substr(0, prefix.size()) != prefix ||
      text.substr(text.size() - suffix.size()) != suffix) {
    return std::nullopt;
  }
  text = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
  long counter =
      text.size() > 16 ? std::strtol(std::string(text.substr(16)).c_str(), nullptr, 10) : 0;
  return std::make_pair(std::string(text.substr(0, 15)), counter);
}

unsigned FileMode(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0600;
}

std::string SecurityName(std::int64_t socketType) {
  if (socketType == kSocketTls) return "TLS";
  return socketType == kSocketStartTls ? "STARTTLS" : "none";
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

std::string InUseText(const std::string& profileFolder) {
  return "Thunderbird is running with the profile " + profileFolder +
         ". Close Thunderbird first, then try again.";
}

// The preferences of `names` that user.js sets too: Thunderbird applies
// user.js at every start, over prefs.js.
void ReportUserJs(const std::string& profileFolder, const std::vector<std::string>& names) {
  std::optional<TPrefsFile> user = LoadPrefs(profileFolder + kUserFile);
  if (!user) return;
  std::vector<std::string> overridden;
  for (const std::string& name : names) {
    if (user->Has(name)) overridden.push_back(name);
  }
  if (overridden.empty()) return;
  CurrentDialogs().ShowMessageBox(profileFolder + kUserFile + " sets " + JoinNames(overridden) +
                                      ". Thunderbird reads it at every start and would undo this "
                                      "change: remove those lines from user.js.",
                                  TMsgDlgType::mtWarning);
}

// The chosen accounts of one profile, in list order.
struct TProfileChoice {
  std::string Folder;
  std::vector<std::size_t> Indices;
};

// Keys without a profile folder are failures at once: they name no file.
std::vector<TProfileChoice> GroupByProfile(const std::vector<std::string>& keys,
                                           const std::vector<std::string>& lines,
                                           const std::vector<std::size_t>& chosen,
                                           TRewriteResult& result) {
  std::vector<TProfileChoice> groups;
  for (std::size_t index : chosen) {
    std::optional<TAccountKey> key = SplitAccountKey(keys.at(index));
    if (!key || key->ProfileFolder.empty()) {
      result.Failed.push_back({lines.at(index), "it is not a Thunderbird account"});
      continue;
    }
    auto group = std::find_if(groups.begin(), groups.end(), [&](const TProfileChoice& g) {
      return g.Folder == key->ProfileFolder;
    });
    if (group == groups.end()) group = groups.insert(groups.end(), {key->ProfileFolder, {}});
    group->Indices.push_back(index);
  }
  return groups;
}

void RewriteProfile(const TProfileChoice& choice, const std::vector<std::string>& keys,
                    const std::vector<std::string>& lines, int gatewayPort,
                    TRewriteResult& result) {
  const std::string prefsPath = choice.Folder + kPrefsFile;
  auto failAll = [&](const std::vector<std::size_t>& indices, const std::string& reason) {
    for (std::size_t index : indices) result.Failed.push_back({lines.at(index), reason});
  };
  std::optional<std::string> original = ReadWholeFile(prefsPath);
  std::optional<TPrefsFile> prefs = original ? TPrefsFile::Parse(*original) : std::nullopt;
  if (!prefs) return failAll(choice.Indices, "Cannot open file " + prefsPath);

  std::vector<std::size_t> planned;
  for (std::size_t index : choice.Indices) {
    TThunderbirdServer server = ReadServer(*prefs, ServerKeyOf(keys.at(index)));
    if (server.Host == kGatewayHost) {
      CurrentDialogs().ShowMessageBox("No modification was done to " + lines.at(index),
                                      TMsgDlgType::mtInformation);
    } else if (!IsPop3(server)) {
      result.Failed.push_back({lines.at(index), "it is not a POP3 account"});
    } else if (server.AuthMethod == kAuthOAuth2) {
      result.Failed.push_back(
          {lines.at(index), "it signs in with OAuth2, which the gateway cannot pass on"});
    } else {
      planned.push_back(index);
    }
  }
  if (planned.empty()) return;
  if (IsProfileInUse(choice.Folder)) return failAll(planned, InUseText(choice.Folder));

  const std::string backupPath = NewBackupPath(choice.Folder);
  if (!WriteFileAtomically(backupPath, *original, 0600)) {
    throw EBackupError("Cannot create file " + backupPath);
  }
  std::vector<std::string> changedNames;
  for (std::size_t index : planned) {
    TThunderbirdServer server = ReadServer(*prefs, ServerKeyOf(keys.at(index)));
    std::vector<std::string> names = RewriteServerForGateway(*prefs, server, gatewayPort);
    changedNames.insert(changedNames.end(), names.begin(), names.end());
  }
  if (!WriteFileAtomically(prefsPath, prefs->Text(), FileMode(prefsPath))) {
    return failAll(planned, "Cannot create file " + prefsPath);
  }
  result.Changed += planned.size();
  CurrentDialogs().ShowMessageBox("Thunderbird's settings were saved to " + backupPath +
                                      " before the change; \"Undo setup\" puts them back.",
                                  TMsgDlgType::mtInformation);
  ReportUserJs(choice.Folder, changedNames);
}

}  // namespace

std::vector<TThunderbirdServer> RestorableServers(const TPrefsFile& current,
                                                  const TPrefsFile& backup) {
  std::vector<TThunderbirdServer> servers;
  for (const std::string& key : AccountServerKeys(backup)) {
    TThunderbirdServer before = ReadServer(backup, key);
    if (IsPop3(before) && before.Host != kGatewayHost &&
        ReadServer(current, key).Host == kGatewayHost) {
      servers.push_back(before);
    }
  }
  return servers;
}

namespace {

// nullopt when the profile has nothing to undo; else the accounts restored
// (0 after a failure, which is reported).
std::optional<std::size_t> UndoProfile(const TThunderbirdProfile& profile) {
  std::vector<std::string> backups = ThunderbirdBackups(profile.Folder);
  if (backups.empty()) return std::nullopt;
  const std::string prefsPath = profile.Folder + kPrefsFile;
  std::optional<TPrefsFile> current = LoadPrefs(prefsPath);
  std::optional<TPrefsFile> backup = LoadPrefs(backups.back());
  if (!current || !backup) {
    CurrentDialogs().ShowMessageBox("Cannot open file " + (current ? backups.back() : prefsPath),
                                    TMsgDlgType::mtError);
    return 0;
  }
  std::vector<TThunderbirdServer> servers = RestorableServers(*current, *backup);
  if (servers.empty()) return std::nullopt;
  if (IsProfileInUse(profile.Folder)) {
    CurrentDialogs().ShowMessageBox(InUseText(profile.Folder), TMsgDlgType::mtError);
    return 0;
  }
  std::vector<std::string> names;
  for (const TThunderbirdServer& server : servers) {
    for (const char* pref : kServerPrefNames) {
      const std::string name = ServerPref(server.Key, pref);
      std::optional<std::string> raw = backup->Raw(name);
      raw ? current->SetRaw(name, *raw) : current->Remove(name);
    }
    names.push_back(server.Name);
  }
  if (!WriteFileAtomically(prefsPath, current->Text(), FileMode(prefsPath))) {
    CurrentDialogs().ShowMessageBox("Cannot create file " + prefsPath, TMsgDlgType::mtError);
    return 0;
  }
  CurrentDialogs().ShowMessageBox("The Thunderbird accounts " + JoinNames(names) +
                                      " were set back as they were in " + backups.back() + ".",
                                  TMsgDlgType::mtInformation);
  return servers.size();
}

}  // namespace

std::vector<std::string> AccountServerKeys(const TPrefsFile& prefs) {
  std::vector<std::string> keys;
  for (const std::string& account :
       SplitAtCommas(prefs.String("mail.accountmanager.accounts").value_or(""))) {
    std::optional<std::string> server = prefs.String("mail.account." + account + ".server");
    if (server && !server->empty() && server->find(kKeySeparator) == std::string::npos &&
        std::find(keys.begin(), keys.end(), *server) == keys.end()) {
      keys.push_back(*server);
    }
  }
  return keys;
}

std::string DefaultServerKey(const TPrefsFile& prefs) {
  std::optional<std::string> account = prefs.String("mail.accountmanager.defaultaccount");
  std::optional<std::string> server =
      account ? prefs.String("mail.account." + *account + ".server") : std::nullopt;
  std::vector<std::string> keys = AccountServerKeys(prefs);
  if (server && std::find(keys.begin(), keys.end(), *server) != keys.end()) return *server;
  return keys.empty() ? "" : keys.front();
}

TThunderbirdServer ReadServer(const TPrefsFile& prefs, const std::string& key) {
  auto text = [&](const char* name) { return prefs.String(ServerPref(key, name)); };
  auto number = [&](const char* name) { return prefs.Int(ServerPref(key, name)); };
  TThunderbirdServer server;
  server.Key = key;
  server.Type = text("type").value_or("");
  server.Name = text("name").value_or("");
  server.Host = text("realhostname").value_or(text("hostname").value_or(""));
  server.User = text("realuserName").value_or(text("userName").value_or(""));
  server.SocketType = number("socketType").value_or(0);
  server.Port =
      number("port").value_or(server.SocketType == kSocketTls ? kPop3sPort : kPlainPop3Port);
  server.AuthMethod = number("authMethod").value_or(0);
  return server;
}

std::string GatewayLogin(const TThunderbirdServer& server) {
  std::string login = server.User + "#" + server.Host;
  if (server.Port != kPlainPop3Port) login += ":" + std::to_string(server.Port);
  if (server.SocketType == kSocketTls) login += "/tls";
  if (server.SocketType == kSocketStartTls) login += "/starttls";
  return login;
}

// realhostname and realuserName, where Thunderbird has them, win over
// hostname and userName, so they are rewritten too. An encrypted-password
// login (APOP) cannot pass through the gateway's plain USER / PASS: such an
// account is set to the normal password.
std::vector<std::string> RewriteServerForGateway(TPrefsFile& prefs,
                                                 const TThunderbirdServer& server,
                                                 int gatewayPort) {
  const std::string login = GatewayLogin(server);
  std::vector<std::string> names;
  auto setString = [&](const char* pref, const std::string& value) {
    prefs.SetString(ServerPref(server.Key, pref), value);
    names.push_back(ServerPref(server.Key, pref));
  };
  auto setInt = [&](const char* pref, std::int64_t value) {
    prefs.SetInt(ServerPref(server.Key, pref), value);
    names.push_back(ServerPref(server.Key, pref));
  };
  setString("hostname", kGatewayHost);
  setString("userName", login);
  if (prefs.Has(ServerPref(server.Key, "realhostname"))) setString("realhostname", kGatewayHost);
  if (prefs.Has(ServerPref(server.Key, "realuserName"))) setString("realuserName", login);
  setInt("port", gatewayPort);
  setInt("socketType", 0);
  if (server.AuthMethod == kAuthPasswordEncrypted) setInt("authMethod", kAuthPasswordCleartext);
  return names;
}

std::string ThunderbirdDefaultAccountKey() {
  std::vector<TThunderbirdProfile> profiles = FindThunderbirdProfiles();
  if (profiles.empty()) return "";
  std::optional<TPrefsFile> prefs = LoadPrefs(profiles.front().Folder + kPrefsFile);
  std::string server = prefs ? DefaultServerKey(*prefs) : "";
  return server.empty() ? "" : profiles.front().Folder + kKeySeparator + server;
}

// Accounts of profiles other than the default are named with their profile.
TAccountList ListThunderbirdAccounts() {
  TAccountList list;
  std::vector<TThunderbirdProfile> profiles = FindThunderbirdProfiles();
  for (const TThunderbirdProfile& profile : profiles) {
    std::optional<TPrefsFile> prefs = LoadPrefs(profile.Folder + kPrefsFile);
    if (!prefs) continue;
    for (const std::string& key : AccountServerKeys(*prefs)) {
      list.keys.push_back(profile.Folder + kKeySeparator + key);
      std::string name = ReadServer(*prefs, key).Name;
      if (!profile.IsDefault) name += " (profile " + profile.Name + ")";
      list.names += name + "\r\n";
    }
  }
  return list;
}

std::string ReadThunderbirdAccountString(std::string_view accountKey, std::string_view valueName) {
  std::optional<TAccountKey> key = SplitAccountKey(accountKey);
  if (!key) return "";
  std::optional<TPrefsFile> prefs = LoadPrefs(key->ProfileFolder + kPrefsFile);
  if (!prefs) return "";
  TThunderbirdServer server = ReadServer(*prefs, key->ServerKey);
  if (valueName == "Account Name") return server.Name;
  if (valueName == "POP3 Server") return IsPop3(server) ? server.Host : "";
  if (valueName == "POP3 User Name") return server.User;
  if (valueName == "POP3 Port") return std::to_string(server.Port);
  if (valueName == "POP3 Security") return SecurityName(server.SocketType);
  if (valueName == "Gateway Login") return GatewayLogin(server);
  return "";
}

TRewriteResult RewriteThunderbirdAccounts(const std::vector<std::string>& keys,
                                          const std::vector<std::string>& displayedLines,
                                          const std::vector<std::size_t>& chosen, int gatewayPort) {
  TRewriteResult result;
  for (const TProfileChoice& choice : GroupByProfile(keys, displayedLines, chosen, result)) {
    RewriteProfile(choice, keys, displayedLines, gatewayPort, result);
  }
  return result;
}

std::vector<std::string> ThunderbirdBackups(const std::string& profileFolder) {
  std::vector<std::pair<std::pair<std::string, long>, std::string>> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(profileFolder, error)) {
    std::string name = entry.path().filename().string();
    if (std::optional<std::pair<std::string, long>> order = BackupOrder(name)) {
      found.emplace_back(*order, entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  paths.reserve(found.size());
  for (auto& [order, path] : found) paths.push_back(std::move(path));
  return paths;
}

std::size_t UndoThunderbirdSetup() {
  std::size_t restored = 0;
  bool anything = false;
  for (const TThunderbirdProfile& profile : FindThunderbirdProfiles()) {
    std::optional<std::size_t> undone = UndoProfile(profile);
    anything = anything || undone.has_value();
    restored += undone.value_or(0);
  }
  if (!anything) {
    CurrentDialogs().ShowMessageBox(NothingToUndoText(), TMsgDlgType::mtInformation);
  }
  return restored;
}

std::string NothingToUndoText() {
  return "There is no account setup to undo: no Thunderbird account was pointed at Quillbright.";
}

}  // namespace qb
