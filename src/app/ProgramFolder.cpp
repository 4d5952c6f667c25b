#include "app/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qb {

namespace {

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code error;
  std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !executable.has_parent_path()) return "./";
  return WithTrailingSeparator(executable.parent_path().string());
}

std::string ProgramFolder() {
  const char* home = std::getenv("QUILLBRIGHT_HOME");
  if (home && *home) return WithTrailingSeparator(home);
  return ExecutableFolder();
}

std::string ProgramFile(const std::string& programFolder, std::string_view name) {
  return WithTrailingSeparator(programFolder) + std::string(name);
}

}  // namespace qb
