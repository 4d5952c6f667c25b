// What a test gives the program it starts, in a child process or in its own
// process: a program folder and a port of its own, and the list updates of
// the start-up pointed at loopback, so that no start-up in a test ever asks a
// name server or a list server off the machine. Every test that starts
// quillbrightd (QuillbrightdProcess does it for you) or runs the start-up
// (TApplication::Start, TForm1::FormCreate) uses these.
//
//   TempFolder home("qb-home");
//   ScopedProgramEnvironment environment(ProgramEnvironment(home.Path().string(), port));
//   TApplication application(popup, tray, resolver);
//   TForm1& form = application.Start({});
//
// A test with a list server of its own passes its address as `updateUrl`.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>

#include "support/ChildProcess.h"

namespace qb::test {

// A list-server address on loopback where nothing listens: a list update
// there is refused at once. The HTTP tests bind their servers on other
// addresses (127.100.0.0 and above, and a few fixed ones below 127.0.0.82).
inline constexpr const char* kUnservedUpdateUrl = "http://127.0.0.86";

// QUILLBRIGHT_HOME, QUILLBRIGHT_POP3_PORT, QUILLBRIGHT_POP3S_PORT and QUILLBRIGHT_UPDATE_URL for a
// program started by a test, with http_proxy emptied so that a list update
// goes straight to its loopback address, and QUILLBRIGHT_THUNDERBIRD_HOME on
// a folder without profiles, so the setup never reads the user's own.
// QUILLBRIGHT_POP3S_PORT is `tlsPort`: by default "0", a port the system
// chooses, so that no two programs of a test run want the same one.
Environment ProgramEnvironment(const std::string& home, std::uint16_t port,
                               const std::string& updateUrl = kUnservedUpdateUrl,
                               const std::string& tlsPort = "0");

// Sets an environment variable of this process (nullopt removes it) and puts
// the old value back when it goes.
class ScopedVariable {
 public:
  ScopedVariable(const std::string& name, const std::optional<std::string>& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void Set(const std::optional<std::string>& value) const;

  std::string name_;
  std::optional<std::string> previous_;
};

// The variables set in this process while it lives, for start-ups run by the
// test itself; the old values come back afterwards.
class ScopedProgramEnvironment {
 public:
  explicit ScopedProgramEnvironment(const Environment& variables);

 private:
  std::list<ScopedVariable> variables_;
};

}  // namespace qb::test
