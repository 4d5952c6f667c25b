// The program's settings: settings.txt in the program folder, one
// "key=value" line each, read by both programs at start. An environment
// variable of the same setting wins over the file. Once loaded, every
// setting the file holds and the environment does not is put into the
// environment, so the code that reads a setting reads its variable
// whichever way it was set. A setting is one entry of ProgramSettingTable().
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qb {

inline constexpr const char* kSettingsFile = "settings.txt";

struct TProgramSetting {
  const char* Key;          // in settings.txt
  const char* Environment;  // the variable that wins over the file
  const char* Label;        // the settings dialog's caption
  const char* Hint;         // what an empty field means, or the default
  // Why `value` cannot be used, or "" when it can (an empty value always
  // can: the default).
  std::string (*Refusal)(std::string_view value);
};

std::span<const TProgramSetting> ProgramSettingTable();
const TProgramSetting* FindProgramSetting(std::string_view key);

// The file's values by key; lines without "=", unknown keys and empty
// values are left out.
std::map<std::string, std::string> ReadSettingsFile(const std::string& programFolder);
// Writes every non-empty value of the table's keys; false when the file
// cannot be written.
bool WriteSettingsFile(const std::string& programFolder,
                       const std::map<std::string, std::string>& values);

// Whether the setting's variable was set (and not empty) before the file
// was loaded: then it wins.
bool SetByEnvironment(const TProgramSetting& setting);
// The value in effect: the environment's, else the file's, else empty.
std::string SettingValue(const TProgramSetting& setting);

// Reads the file and puts its values into the environment where the
// variable is not set. Run at start, before anything reads a setting; a
// second load first takes back what the first put there.
void LoadProgramSettings(const std::string& programFolder);
// Takes the file's values out of the environment again (when the window
// that loaded them goes).
void UnloadProgramSettings();

}  // namespace qb
