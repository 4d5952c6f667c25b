#include "app/ProgramFolder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/FileStore.h"

#ifndef QB_SHIPPED_DATA_RELATIVE
#define QB_SHIPPED_DATA_RELATIVE "../share/quillbright"
#endif

namespace qb {

namespace fs = std::filesystem;

namespace {

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsWritableFolder(const std::string& folder) {
  return ::access(folder.c_str(), W_OK) == 0;
}

bool IsUsableExecutableFolder(const std::string& folder) {
  std::error_code error;
  return fs::is_regular_file(folder + "vlist.txt", error) && IsWritableFolder(folder);
}

void AddError(std::string& errors, const std::string& text) {
  if (!errors.empty()) errors += "; ";
  errors += text;
}

}  // namespace

std::string ExecutablePath() {
  std::error_code error;
  fs::path executable = fs::read_symlink("/proc/self/exe", error);
  return error ? "" : executable.string();
}

std::string ExecutableFolder() {
  fs::path executable = ExecutablePath();
  if (!executable.has_parent_path()) return "./";
  return WithTrailingSeparator(executable.parent_path().string());
}

std::string ShippedDataFolder(const std::string& executableFolder) {
  return WithTrailingSeparator(
      (fs::path(executableFolder) / QB_SHIPPED_DATA_RELATIVE).lexically_normal().string());
}

ProgramFolderPlaces CurrentProgramFolderPlaces() {
  ProgramFolderPlaces places;
  places.Home = Variable("QUILLBRIGHT_HOME");
  places.ExecutableFolder = ExecutableFolder();
  places.DataHome = Variable("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
  if (places.DataHome.empty() || places.DataHome.front() != '/') {
    std::string home = Variable("HOME");
    places.DataHome = home.empty() ? "" : WithTrailingSeparator(home) + ".local/share";
  }
  places.ShippedFolder = ShippedDataFolder(places.ExecutableFolder);
  return places;
}

std::vector<std::string> CopyMissingShippedFiles(const std::string& shipped,
                                                 const std::string& folder, std::string& error) {
  std::vector<std::string> copied;
  std::error_code code;
  fs::directory_iterator entries(shipped, code);
  if (code) {
    AddError(error, "cannot read the shipped files in " + shipped + ": " + code.message());
    return copied;
  }
  for (const fs::directory_entry& entry : entries) {
    if (!entry.is_regular_file(code)) continue;
    fs::path target = fs::path(folder) / entry.path().filename();
    // A file the user already has (or a link of theirs) is never replaced;
    // a copy goes through a temporary file, so a crash leaves no half list
    // that would then count as the user's.
    if (fs::exists(fs::symlink_status(target, code))) continue;
    std::optional<std::string> bytes = ReadWholeFile(entry.path().string());
    if (bytes && WriteFileAtomically(target.string(), *bytes)) {
      copied.push_back(entry.path().filename().string());
    } else {
      AddError(error, "cannot copy " + entry.path().string() + " to " + folder);
    }
  }
  std::sort(copied.begin(), copied.end());
  return copied;
}

ChosenProgramFolder ChooseProgramFolder(const ProgramFolderPlaces& places) {
  ChosenProgramFolder chosen;
  if (!places.Home.empty()) {
    chosen.Folder = WithTrailingSeparator(places.Home);
    return chosen;
  }
  if (IsUsableExecutableFolder(places.ExecutableFolder)) {
    chosen.Folder = places.ExecutableFolder;
    return chosen;
  }
  if (places.DataHome.empty()) {
    // Nowhere else to go: the executable's folder, and the user is told why
    // markers and lists may not be kept.
    chosen.Folder = places.ExecutableFolder;
    if (!IsWritableFolder(chosen.Folder)) {
      chosen.Error = "neither XDG_DATA_HOME nor HOME is set, and the folder cannot be written";
    }
    return chosen;
  }
  chosen.Folder = WithTrailingSeparator(places.DataHome) + "quillbright/";
  if (!MakeFolder(chosen.Folder, kPrivateFolderMode)) {
    chosen.Error = "cannot create " + chosen.Folder + ": " + std::strerror(errno);
    return chosen;
  }
  chosen.Copied = CopyMissingShippedFiles(places.ShippedFolder, chosen.Folder, chosen.Error);
  if (!IsWritableFolder(chosen.Folder))
    AddError(chosen.Error, chosen.Folder + " cannot be written");
  return chosen;
}

std::string ProgramFolder() {
  return ChooseProgramFolder(CurrentProgramFolderPlaces()).Folder;
}

std::string ProgramFile(const std::string& programFolder, std::string_view name) {
  return WithTrailingSeparator(programFolder) + std::string(name);
}

}  // namespace qb
