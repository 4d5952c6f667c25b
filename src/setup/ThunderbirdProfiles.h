// Where Thunderbird keeps its profiles: profiles.ini in its home folder
// (~/.thunderbird, or QUILLBRIGHT_THUNDERBIRD_HOME when set), and whether a
// running Thunderbird holds a profile.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct TThunderbirdProfile {
  std::string Name;
  std::string Folder;  // with a trailing "/"
  bool IsDefault = false;
};

// QUILLBRIGHT_THUNDERBIRD_HOME when set and not empty, else $HOME/.thunderbird;
// with a trailing "/". "" when neither is known.
std::string ThunderbirdHome();

// The profiles listed in the text of profiles.ini, the default first: the
// one an [Install...] section names, else the one marked Default=1, else the
// first listed. Relative paths are taken from `home`.
std::vector<TThunderbirdProfile> ParseProfilesIni(std::string_view text, const std::string& home);

// The profiles of ThunderbirdHome(), default first; none when profiles.ini
// is missing.
std::vector<TThunderbirdProfile> FindThunderbirdProfiles();

// Whether a running Thunderbird holds the profile: a process keeps a lock
// on its ".parentlock", or its "lock" link names a process that is alive.
bool IsProfileInUse(const std::string& profileFolder);

}  // namespace qb
