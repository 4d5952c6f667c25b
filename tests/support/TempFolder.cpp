#include "support/TempFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>

namespace qb::test {

TempFolder::TempFolder(std::string_view prefix) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::File(std::string_view name) const {
  return (path_ / name).string();
}

std::string TempFolder::MakeFolder(std::string_view name) const {
  std::filesystem::path folder = path_ / name;
  std::filesystem::create_directories(folder);
  return folder.string();
}

}  // namespace qb::test
