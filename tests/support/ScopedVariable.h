// Sets an environment variable for the life of the object (nullopt unsets
// it) and puts the old value back afterwards.
//
//   ScopedVariable home("QUILLBRIGHT_HOME", folder.Path().string());
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qb::test {

class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    Set(value);
  }
  ~ScopedVariable() { Set(previous_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> previous_;
};

}  // namespace qb::test
