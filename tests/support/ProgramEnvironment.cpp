#include "support/ProgramEnvironment.h"

#include <cstdlib>

namespace qb::test {

Environment ProgramEnvironment(const std::string& home, std::uint16_t port,
                               const std::string& updateUrl, const std::string& tlsPort) {
  return {{"QUILLBRIGHT_HOME", home},
          {"QUILLBRIGHT_POP3_PORT", std::to_string(port)},
          {"QUILLBRIGHT_POP3S_PORT", tlsPort},
          {"QUILLBRIGHT_UPDATE_URL", updateUrl},
          {"QUILLBRIGHT_THUNDERBIRD_HOME", home + "/no-thunderbird"},
          {"http_proxy", ""}};
}

ScopedVariable::ScopedVariable(const std::string& name, const std::optional<std::string>& value)
    : name_(name) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  Set(value);
}

ScopedVariable::~ScopedVariable() {
  Set(previous_);
}

void ScopedVariable::Set(const std::optional<std::string>& value) const {
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedProgramEnvironment::ScopedProgramEnvironment(const Environment& variables) {
  for (const auto& [name, value] : variables) variables_.emplace_back(name, value);
}

}  // namespace qb::test
