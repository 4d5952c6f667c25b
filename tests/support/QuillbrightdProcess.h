// quillbrightd started by a test as a user runs it, but offline: with the
// test's own program folder, a free loopback port, and the variables of
// ProgramEnvironment (list updates to kUnservedUpdateUrl unless `variables`
// names another address, no proxy). The folder holds the test's own lists;
// without a dnsbl.txt of the test's there is no block-list zone, so a scan
// never looks a name up (scans with a zone run in the test's own process,
// with a resolver the test answers).
//
//   TempFolder home("qb-home");
//   QuillbrightdProcess daemon(home.Path().string());
//   ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
//   PlainPop3Client pop(daemon.Port());
//   ...
//   ProcessResult end = daemon.Stop(SIGINT);
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>

#include "support/ChildProcess.h"

namespace qb::test {

// The executable in bin/ of the build tree; test programs live two folders
// below the build tree (tests/<layer>/).
std::string QuillbrightdProgram();

class QuillbrightdProcess {
 public:
  // Starts the program and waits (up to five seconds) until it accepts
  // connections on its port or has ended.
  explicit QuillbrightdProcess(const std::string& home, const Environment& variables = {});

  std::uint16_t Port() const { return port_; }
  bool Listening() const { return listening_; }
  // Sends the signal and waits for the end; killed when the time is up.
  ProcessResult Stop(int signal = SIGTERM,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  std::uint16_t port_;
  ChildProcess process_;
  bool listening_ = false;
};

}  // namespace qb::test
