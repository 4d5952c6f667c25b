#include "app/SessionAutostart.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/ListFiles.h"
#include "app/ProgramFolder.h"
#include "app/ProgramSettings.h"
#include "platform/FileStore.h"

namespace qb {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

bool SwitchedOff(const std::string& entry) {
  for (std::string_view line : {"\nHidden=true", "\nX-GNOME-Autostart-enabled=false"}) {
    if (entry.find(line) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::string AutostartEntryPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/')
    return ProgramFile(ProgramFile(config, "autostart"), kAutostartEntryName);
  const char* home = std::getenv("HOME");
  if (!home || !*home) return "";
  return ProgramFile(ProgramFile(ProgramFile(home, ".config"), "autostart"), kAutostartEntryName);
}

// Quoting first (inside double quotes ", `, $ and \ take a backslash), then
// the string escapes of every value (\ as \\, a line break as \n), and %
// doubled, as field codes begin with it.
std::string DesktopExecArgument(const std::string& path) {
  bool quoted = path.empty() || path.find_first_of(kReservedInExec) != std::string::npos;
  std::string argument;
  if (quoted) argument += '"';
  for (char c : path) {
    if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
    argument += c;
  }
  if (quoted) argument += '"';
  std::string value;
  for (char c : argument) {
    if (c == '\\') {
      value += "\\\\";
    } else if (c == '\n') {
      value += "\\n";
    } else if (c == '%') {
      value += "%%";
    } else {
      value += c;
    }
  }
  return value;
}

TAutostartVariables CurrentAutostartVariables() {
  TAutostartVariables variables;
  if (const char* home = std::getenv("QUILLBRIGHT_HOME"); home && *home) {
    variables.push_back(std::string("QUILLBRIGHT_HOME=") + home);
  }
  for (const TProgramSetting& setting : ProgramSettingTable()) {
    if (SetByEnvironment(setting)) {
      variables.push_back(std::string(setting.Environment) + "=" + SettingValue(setting));
    }
  }
  return variables;
}

std::string AutostartEntryText(const std::string& executable,
                               const TAutostartVariables& variables) {
  std::string command = variables.empty() ? "" : "env ";
  for (const std::string& variable : variables) command += DesktopExecArgument(variable) + " ";
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quillbright\n"
         "Comment=Screen your mail on the server before your mail client downloads it\n"
         "Exec=" +
         command + DesktopExecArgument(executable) +
         "\n"
         "Icon=quillbright\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

TSessionAutostart::TSessionAutostart(std::string entryPath, std::string executable,
                                     TAutostartVariables variables)
    : entryPath_(std::move(entryPath)),
      executable_(std::move(executable)),
      variables_(std::move(variables)) {}

TSessionAutostart TSessionAutostart::ForCurrentUser() {
  return TSessionAutostart(AutostartEntryPath(), ExecutablePath(), CurrentAutostartVariables());
}

bool TSessionAutostart::Enabled() const {
  if (entryPath_.empty()) return false;
  std::optional<std::string> entry = ReadWholeFile(entryPath_);
  return entry && !SwitchedOff("\n" + *entry);
}

std::string TSessionAutostart::SetEnabled(bool enabled) const {
  if (entryPath_.empty()) {
    return "Quillbright cannot find your autostart folder: neither XDG_CONFIG_HOME nor HOME is "
           "set.";
  }
  std::error_code error;
  if (!enabled) {
    fs::remove(entryPath_, error);
    return error ? "Cannot delete file " + entryPath_ + ": " + error.message() : "";
  }
  fs::create_directories(fs::path(entryPath_).parent_path(), error);
  if (error || !WriteFileAtomically(entryPath_, AutostartEntryText(executable_, variables_))) {
    return CannotCreateFileText(entryPath_);
  }
  return "";
}

}  // namespace qb
