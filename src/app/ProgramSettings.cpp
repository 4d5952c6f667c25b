#include "app/ProgramSettings.h"

#include <netdb.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "app/ListUpdate.h"
#include "app/ProgramFolder.h"
#include "app/ReviewSettings.h"
#include "platform/AsciiText.h"
#include "platform/FileStore.h"
#include "screening/ScreeningText.h"

namespace qb {

namespace {

std::string NumberRefusal(std::string_view value, std::int64_t lowest, std::int64_t highest) {
  std::optional<std::int64_t> number = ParseWholeNumber(value);
  if (number && *number >= lowest && *number <= highest) return "";
  return "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
}

std::string PortRefusal(std::string_view value) {
  if (NumberRefusal(value, 1, 65535).empty()) return "";
  if (getservbyname(std::string(value).c_str(), "tcp")) return "";
  return "a port number from 1 to 65535 or a service name such as pop3";
}

std::string HoldRefusal(std::string_view value) {
  return ParseReviewHold(value) ? "" : "a number of seconds from 1 to 540";
}

std::string CheckAheadRefusal(std::string_view value) {
  return ParseCheckAhead(value) ? "" : "\"on\" or a number of minutes from 1 to 1440";
}

std::string ZoneRefusal(std::string_view value) {
  return IsDnsName(value) ? "" : "a DNS name such as zen.spamhaus.org";
}

std::string AddressRefusal(std::string_view value) {
  return value.starts_with("http://") || value.starts_with("https://")
             ? ""
             : "an address beginning with http:// or https://";
}

std::string KeepDaysRefusal(std::string_view value) {
  return NumberRefusal(value, 1, 36500);
}

std::string CopyLimitRefusal(std::string_view value) {
  return NumberRefusal(value, 0, 4194304);
}

std::string FileRefusal(std::string_view value) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::string(value), error) ? "" : "an existing file";
}

const TProgramSetting kSettings[] = {
    {"port", "QUILLBRIGHT_POP3_PORT", "Listening port", "110 (pop3)", PortRefusal},
    {"review-hold", "QUILLBRIGHT_REVIEW_HOLD", "Review hold (seconds)", "45", HoldRefusal},
    {"check-ahead", "QUILLBRIGHT_CHECK_AHEAD", "Check ahead (minutes, or on)", "off",
     CheckAheadRefusal},
    {"dnsbl-zone", "QUILLBRIGHT_DNSBL_ZONE", "DNS block list", "the one dnsbl.txt names",
     ZoneRefusal},
    {"update-url", "QUILLBRIGHT_UPDATE_URL", "List-update address", "the shipped address",
     AddressRefusal},
    {"removed-keep-days", "QUILLBRIGHT_REMOVED_KEEP_DAYS", "Keep removed copies (days)", "30",
     KeepDaysRefusal},
    {"removed-copy-limit-kb", "QUILLBRIGHT_REMOVED_COPY_LIMIT_KB", "Largest copy kept (KB)", "5120",
     CopyLimitRefusal},
    {"ca-file", "QUILLBRIGHT_CA_FILE", "Trusted certificates (PEM file)", "the system's",
     FileRefusal},
};

// What the last load found and did: the variables the environment had
// set, and those the load set from the file.
struct TLoadedSettings {
  bool Loaded = false;
  std::set<std::string> FromEnvironment;
  std::set<std::string> FromFile;
};

TLoadedSettings& Loaded() {
  static TLoadedSettings loaded;
  return loaded;
}

bool VariableSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

std::span<const TProgramSetting> ProgramSettingTable() {
  return kSettings;
}

const TProgramSetting* FindProgramSetting(std::string_view key) {
  for (const TProgramSetting& setting : kSettings) {
    if (key == setting.Key) return &setting;
  }
  return nullptr;
}

std::map<std::string, std::string> ReadSettingsFile(const std::string& programFolder) {
  std::map<std::string, std::string> values;
  std::optional<std::string> text = ReadWholeFile(ProgramFile(programFolder, kSettingsFile));
  std::string_view rest = text ? std::string_view(*text) : std::string_view();
  while (!rest.empty()) {
    std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string key = TrimBlanks(line.substr(0, equals));
    std::string value = TrimBlanks(line.substr(equals + 1));
    if (!value.empty() && FindProgramSetting(key)) values[key] = value;
  }
  return values;
}

bool WriteSettingsFile(const std::string& programFolder,
                       const std::map<std::string, std::string>& values) {
  std::string text = "# Quillbright's settings; an environment variable of the same name wins.\n";
  for (const TProgramSetting& setting : kSettings) {
    auto value = values.find(setting.Key);
    if (value != values.end() && !value->second.empty()) {
      text += std::string(setting.Key) + "=" + value->second + "\n";
    }
  }
  return WriteFileAtomically(ProgramFile(programFolder, kSettingsFile), text, 0600);
}

bool SetByEnvironment(const TProgramSetting& setting) {
  const TLoadedSettings& loaded = Loaded();
  return loaded.Loaded ? loaded.FromEnvironment.contains(setting.Environment)
                       : VariableSet(setting.Environment);
}

std::string SettingValue(const TProgramSetting& setting) {
  const char* value = std::getenv(setting.Environment);
  return value ? value : "";
}

void LoadProgramSettings(const std::string& programFolder) {
  UnloadProgramSettings();
  TLoadedSettings& loaded = Loaded();
  loaded.Loaded = true;
  for (const TProgramSetting& setting : kSettings) {
    if (VariableSet(setting.Environment)) loaded.FromEnvironment.insert(setting.Environment);
  }
  for (const auto& [key, value] : ReadSettingsFile(programFolder)) {
    const char* variable = FindProgramSetting(key)->Environment;
    if (loaded.FromEnvironment.contains(variable)) continue;
    setenv(variable, value.c_str(), 1);
    loaded.FromFile.insert(variable);
  }
}

void UnloadProgramSettings() {
  TLoadedSettings& loaded = Loaded();
  for (const std::string& variable : loaded.FromFile) unsetenv(variable.c_str());
  loaded = {};
}

}  // namespace qb
