#include "platform/FileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace qb {

namespace {

// A temporary file beside `path`, created exclusively with `mode` (less the
// umask); its name is written into `temporary`.
int CreateTemporary(const std::string& path, unsigned mode, std::string& temporary) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> bytes;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes.emplace();
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
      bytes->append(buffer, static_cast<std::size_t>(n));
    if (n < 0) bytes.reset();
  }
  close(fd);
  return bytes;
}

bool WriteAllToDescriptor(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<unsigned> mode) {
  std::string temporary;
  int fd = CreateTemporary(path, mode.value_or(0666), temporary);
  if (fd < 0) return false;
  bool written = (!mode || fchmod(fd, static_cast<mode_t>(*mode)) == 0) &&
                 WriteAllToDescriptor(fd, bytes) && fsync(fd) == 0;
  written = (close(fd) == 0) && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool MakeFolder(const std::string& folder, unsigned mode) {
  std::filesystem::path path(folder);
  if (path.has_parent_path() && !path.has_filename()) path = path.parent_path();
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return true;
  if (path.has_parent_path() && path.parent_path() != path &&
      !MakeFolder(path.parent_path().string())) {
    return false;
  }
  if (mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) return true;
  return errno == EEXIST && std::filesystem::is_directory(path, error);
}

bool SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
}

bool NarrowMode(const std::string& path, unsigned mode) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return false;
  mode_t bits = info.st_mode & 07777;
  if ((bits & ~static_cast<mode_t>(mode)) == 0) return false;
  return chmod(path.c_str(), bits & static_cast<mode_t>(mode)) == 0;
}

}  // namespace qb
