#include "setup/ThunderbirdProfiles.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>

#include "platform/FileStore.h"

namespace qb {

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string_view Trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(start, end - start + 1);
}

using IniSection = std::map<std::string, std::string>;

// The sections in file order, each with its name and its keys.
std::vector<std::pair<std::string, IniSection>> ParseIni(std::string_view text) {
  std::vector<std::pair<std::string, IniSection>> sections;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      sections.emplace_back(std::string(line.substr(1, line.size() - 2)), IniSection{});
    } else if (std::size_t equals = line.find('=');
               equals != std::string_view::npos && !sections.empty()) {
      sections.back().second[std::string(Trimmed(line.substr(0, equals)))] =
          std::string(Trimmed(line.substr(equals + 1)));
    }
  }
  return sections;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A process holds a write-excluding lock on the file.
bool IsFileLockedByOther(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  bool locked = fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
  close(fd);
  return locked;
}

// The "lock" link reads "address:+pid"; a stale link names a process gone.
bool LockLinkNamesLiveProcess(const std::string& path) {
  char target[256];
  ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  if (length <= 0) return false;
  std::string_view text(target, static_cast<std::size_t>(length));
  std::size_t plus = text.rfind(":+");
  if (plus == std::string_view::npos) return false;
  long pid = std::strtol(std::string(text.substr(plus + 2)).c_str(), nullptr, 10);
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

std::string ThunderbirdHome() {
  const char* home = std::getenv("QUILLBRIGHT_THUNDERBIRD_HOME");
  if (home && *home) return WithSlash(home);
  const char* user = std::getenv("HOME");
  if (user && *user) return WithSlash(user) + ".thunderbird/";
  return "";
}

std::vector<TThunderbirdProfile> ParseProfilesIni(std::string_view text, const std::string& home) {
  std::vector<TThunderbirdProfile> profiles;
  std::vector<std::string> rawPaths;
  std::vector<std::string> installDefaults;
  int marked = -1;
  for (const auto& section : ParseIni(text)) {
    const std::string& name = section.first;
    auto value = [&section](const char* key) {
      auto found = section.second.find(key);
      return found == section.second.end() ? std::string() : found->second;
    };
    if (StartsWith(name, "Install") && !value("Default").empty()) {
      installDefaults.push_back(value("Default"));
    } else if (StartsWith(name, "Profile") && !value("Path").empty()) {
      std::string path = value("Path");
      bool relative = value("IsRelative") != "0";
      if (value("Default") == "1" && marked < 0) marked = static_cast<int>(profiles.size());
      profiles.push_back({value("Name"), WithSlash(relative ? home + path : path), false});
      rawPaths.push_back(path);
    }
  }
  std::size_t chosen = 0;
  auto installed = std::find_first_of(rawPaths.begin(), rawPaths.end(), installDefaults.begin(),
                                      installDefaults.end());
  if (installed != rawPaths.end()) {
    chosen = static_cast<std::size_t>(installed - rawPaths.begin());
  } else if (marked >= 0) {
    chosen = static_cast<std::size_t>(marked);
  }
  if (profiles.empty()) return profiles;
  profiles[chosen].IsDefault = true;
  std::rotate(profiles.begin(), profiles.begin() + static_cast<std::ptrdiff_t>(chosen),
              profiles.begin() + static_cast<std::ptrdiff_t>(chosen) + 1);
  return profiles;
}

std::vector<TThunderbirdProfile> FindThunderbirdProfiles() {
  std::string home = ThunderbirdHome();
  if (home.empty()) return {};
  std::optional<std::string> ini = ReadWholeFile(home + "profiles.ini");
  if (!ini) return {};
  return ParseProfilesIni(*ini, home);
}

bool IsProfileInUse(const std::string& profileFolder) {
  std::string folder = WithSlash(profileFolder);
  return IsFileLockedByOther(folder + ".parentlock") || LockLinkNamesLiveProcess(folder + "lock");
}

}  // namespace qb
