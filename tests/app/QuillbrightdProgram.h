// Where the tests find the quillbrightd executable: in bin/ of the build
// tree, which holds this test program in tests/app/.
#pragma once

#include <filesystem>
#include <string>

namespace qb::test {

inline std::string QuillbrightdProgram() {
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path().parent_path() / "bin" / "quillbrightd").string();
}

}  // namespace qb::test
