// "Start with my session": a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart/, by default ~/.config/autostart/) that starts
// the desktop program, hidden in the tray, when the user's desktop session
// begins. The option is on while that entry exists and the desktop has not
// switched it off (Hidden=true, or X-GNOME-Autostart-enabled=false).
#pragma once

#include <string>
#include <vector>

namespace qb {

inline constexpr const char* kAutostartEntryName = "quillbright.desktop";

// The entry's path for the environment of this process; empty when neither
// XDG_CONFIG_HOME (absolute) nor HOME is set.
std::string AutostartEntryPath();

// `path` as one argument of a desktop entry's Exec key: quoted when it holds
// a reserved character, with the quoting and the string escapes applied.
std::string DesktopExecArgument(const std::string& path);

// A variable the started program gets, as "NAME=value".
using TAutostartVariables = std::vector<std::string>;

// The entry that starts `executable` without arguments (hidden in the
// tray), through env(1) with `variables` when there are any.
std::string AutostartEntryText(const std::string& executable,
                               const TAutostartVariables& variables = {});

// The variables a start from the session needs to find the same program
// folder and settings: QUILLBRIGHT_HOME and every setting the environment
// set (the settings file is in the program folder).
TAutostartVariables CurrentAutostartVariables();

class TSessionAutostart {
 public:
  TSessionAutostart(std::string entryPath, std::string executable,
                    TAutostartVariables variables = {});
  // The current user's entry for the running executable, with this
  // process's folder and settings.
  static TSessionAutostart ForCurrentUser();

  bool Enabled() const;
  // Writes the entry (and its folder) or removes it. Empty on success,
  // otherwise the text for the user.
  std::string SetEnabled(bool enabled) const;

  const std::string& EntryPath() const { return entryPath_; }

 private:
  std::string entryPath_;
  std::string executable_;
  TAutostartVariables variables_;
};

}  // namespace qb
