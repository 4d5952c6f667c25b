// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
//
//   TempFolder home("quillbright-home");
//   WriteFileAtomically(home.File("senlist.txt"), "spammer@example.org\r\n");
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qb::test {

class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "qb-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of `name` inside the folder (nothing is created).
  std::string File(std::string_view name) const;
  // Creates a sub-folder (and its parents) and returns its path.
  std::string MakeFolder(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace qb::test
