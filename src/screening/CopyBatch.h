// The copies of one review's removals, written as their messages arrive
// and synced together before the first DELE: each copy is created under its
// own name exclusively (a counter before ".eml" when the name is taken, so
// two copies never overwrite each other), readable by the user alone, in a
// folder of the user alone. Commit syncs each file's data, then the folder
// once. A copy not committed is removed when the batch goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class TCopyBatch {
 public:
  TCopyBatch() = default;
  ~TCopyBatch();
  TCopyBatch(TCopyBatch&& other) noexcept;
  TCopyBatch& operator=(TCopyBatch&& other) noexcept;
  TCopyBatch(const TCopyBatch&) = delete;
  TCopyBatch& operator=(const TCopyBatch&) = delete;

  // Writes the copy into `folder` (made when missing), not yet synced; the
  // name it got, or nullopt when it cannot be written (nothing is left).
  std::optional<std::string> Write(const std::string& folder, const std::string& name,
                                   std::string_view bytes);

  // Syncs every copy written since the last commit and then the folder.
  // The names of the copies that are not safely on disk; those are removed
  // (every one of them when the folder cannot be synced).
  std::vector<std::string> Commit();

  bool Empty() const { return names_.empty(); }

 private:
  void Discard();

  std::string folder_;
  std::vector<std::string> names_;  // written, not committed
};

}  // namespace qb
