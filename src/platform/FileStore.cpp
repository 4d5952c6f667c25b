#include "platform/FileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace qb {

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

bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode) {
  std::string temporary = path + ".tmpXXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = fchmod(fd, static_cast<mode_t>(mode)) == 0 && WriteAllToDescriptor(fd, bytes) &&
                 fsync(fd) == 0;
  written = (close(fd) == 0) && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace qb
