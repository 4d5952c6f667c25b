#include "setup/SetupPreview.h"

#include "platform/FileStore.h"
#include "setup/ThunderbirdAccounts.h"
#include "setup/ThunderbirdProfiles.h"

namespace qb {

namespace {

// One account's lines: what it is now, and what it will be.
std::string AccountPreview(AccountStore store, const std::string& key, const std::string& line,
                           int gatewayPort) {
  auto value = [&](const char* name) { return ReadAccountString(store, key, name); };
  const std::string server = value("POP3 Server");
  const std::string user = value("POP3 User Name");
  const bool thunderbird = store == AccountStore::asThunderbird;
  const std::string port = thunderbird ? value("POP3 Port") : "110";
  const std::string security = thunderbird ? value("POP3 Security") : "none";
  const std::string login = thunderbird ? value("Gateway Login") : user + "#" + server;
  return line + "\n  now:   server " + server + ", user " + user + ", port " + port +
         ", security " + security + "\n  after: server " + kGatewayHost + ", user " + login +
         ", port " + std::to_string(gatewayPort) +
         ", security none (the mail stays on this computer; Quillbright keeps the server's " +
         security + ")\n";
}

std::optional<TPrefsFile> LoadPrefs(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  return text ? TPrefsFile::Parse(std::move(*text)) : std::nullopt;
}

}  // namespace

std::string SetupPreviewText(AccountStore store, const std::vector<std::string>& keys,
                             const std::vector<std::string>& lines,
                             const std::vector<std::size_t>& chosen, int gatewayPort) {
  std::string text = "Quillbright will change these accounts so that they fetch through it:\n\n";
  for (std::size_t index : chosen) {
    text += AccountPreview(store, keys.at(index), lines.at(index), gatewayPort) + "\n";
  }
  return text + "Their settings are saved first; \"Undo setup\" puts them back.";
}

std::string UndoPreviewText() {
  std::string text;
  for (const TThunderbirdProfile& profile : FindThunderbirdProfiles()) {
    std::vector<std::string> backups = ThunderbirdBackups(profile.Folder);
    if (backups.empty()) continue;
    std::optional<TPrefsFile> current = LoadPrefs(profile.Folder + "prefs.js");
    std::optional<TPrefsFile> backup = LoadPrefs(backups.back());
    if (!current || !backup) continue;
    std::string accounts;
    for (const TThunderbirdServer& server : RestorableServers(*current, *backup)) {
      accounts += "  " + server.Name + ": server " + server.Host + ", user " + server.User +
                  ", port " + std::to_string(server.Port) + "\n";
    }
    if (!accounts.empty()) text += accounts + "  (from " + backups.back() + ")\n";
  }
  if (text.empty()) return "";
  return "\"Undo setup\" will set these Thunderbird accounts back to fetch from their servers "
         "directly, as they were before Quillbright changed them:\n\n" +
         text;
}

}  // namespace qb
