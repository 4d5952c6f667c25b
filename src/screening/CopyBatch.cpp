#include "screening/CopyBatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/FileStore.h"

namespace qb {

namespace {

constexpr int kMaxClashes = 1000;

// The name, and from the second try on "-2", "-3", ... before ".eml".
std::string Numbered(const std::string& name, int n) {
  if (n == 1) return name;
  std::size_t dot = name.ends_with(".eml") ? name.size() - 4 : name.size();
  return name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
}

// Creates the file exclusively under the first free numbered name.
int CreateExclusively(const std::string& folder, const std::string& name, std::string& taken) {
  for (int n = 1; n <= kMaxClashes; ++n) {
    taken = Numbered(name, n);
    int fd = open((folder + taken).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  static_cast<mode_t>(kPrivateFileMode));
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool SyncData(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = fdatasync(fd) == 0;
  return close(fd) == 0 && synced;
}

}  // namespace

TCopyBatch::~TCopyBatch() {
  Discard();
}

TCopyBatch::TCopyBatch(TCopyBatch&& other) noexcept
    : folder_(std::move(other.folder_)), names_(std::exchange(other.names_, {})) {}

TCopyBatch& TCopyBatch::operator=(TCopyBatch&& other) noexcept {
  if (this == &other) return *this;
  Discard();
  folder_ = std::move(other.folder_);
  names_ = std::exchange(other.names_, {});
  return *this;
}

std::optional<std::string> TCopyBatch::Write(const std::string& folder, const std::string& name,
                                             std::string_view bytes) {
  if (!names_.empty() && folder != folder_) return std::nullopt;  // one folder a batch
  if (!MakeFolder(folder, kPrivateFolderMode)) return std::nullopt;
  std::string taken;
  int fd = CreateExclusively(folder, name, taken);
  if (fd < 0) return std::nullopt;
  bool written = WriteAllToDescriptor(fd, bytes);
  // The data goes to the disk while the next message arrives; Commit waits.
  if (written) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  if (close(fd) != 0 || !written) {
    unlink((folder + taken).c_str());
    return std::nullopt;
  }
  folder_ = folder;
  names_.push_back(taken);
  return taken;
}

std::vector<std::string> TCopyBatch::Commit() {
  std::vector<std::string> failed;
  std::vector<std::string> synced;
  for (std::string& name : std::exchange(names_, {})) {
    (SyncData(folder_ + name) ? synced : failed).push_back(std::move(name));
  }
  if (!synced.empty() && !SyncFolder(folder_)) {
    failed.insert(failed.end(), synced.begin(), synced.end());
  }
  for (const std::string& name : failed) unlink((folder_ + name).c_str());
  return failed;
}

void TCopyBatch::Discard() {
  for (const std::string& name : std::exchange(names_, {})) unlink((folder_ + name).c_str());
}

}  // namespace qb
