#include "platform/PrivateFiles.h"

#include <filesystem>
#include <system_error>

#include "platform/FileStore.h"

namespace qb {

namespace {

constexpr std::string_view kPrivateNames[] = {"removed.log", "friends.txt", "stlsservers.txt",
                                              "checkahead.txt"};
constexpr std::string_view kPrivateExtensions[] = {".UID", ".decisions"};

// Narrows the folder, and every regular file in it that `isPrivate` names.
int NarrowFolder(const std::string& folder, bool (*isPrivate)(std::string_view)) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return 0;
  int narrowed = NarrowMode(folder, kPrivateFolderMode) ? 1 : 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_symlink(error) || !entry.is_regular_file(error)) continue;
    if (!isPrivate(entry.path().filename().string())) continue;
    if (NarrowMode(entry.path().string(), kPrivateFileMode)) ++narrowed;
  }
  return narrowed;
}

bool AnyFile(std::string_view) {
  return true;
}

}  // namespace

bool IsPrivateProgramFile(std::string_view fileName) {
  for (std::string_view name : kPrivateNames) {
    if (fileName == name) return true;
  }
  for (std::string_view extension : kPrivateExtensions) {
    if (fileName.size() > extension.size() && fileName.ends_with(extension)) return true;
  }
  return false;
}

std::optional<unsigned> ProgramFileMode(std::string_view path) {
  std::size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (IsPrivateProgramFile(name)) return kPrivateFileMode;
  return std::nullopt;
}

int NarrowPrivateFiles(const std::string& programFolder) {
  int narrowed = NarrowFolder(programFolder, IsPrivateProgramFile);
  for (const char* subfolder : kPrivateSubfolders) {
    narrowed += NarrowFolder(programFolder + subfolder, AnyFile);
  }
  return narrowed;
}

}  // namespace qb
