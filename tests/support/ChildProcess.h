// Child processes for tests: started with their output captured, waited for
// with a deadline, and killed by pid (with the processes they started in turn,
// which share their process group) when the deadline passes. A child gets
// SIGTERM when the thread that started it ends (PR_SET_PDEATHSIG), so a test
// that dies leaves no server behind: start long-lived children on a thread
// that outlives them, normally the test's main thread.
//
//   ProcessResult result = RunProcess({"curl", "--version"}, 10s);
//   EXPECT_EQ(result.ExitCode, 0) << result.Errors;
//
//   ChildProcess daemon({"quillbrightd"}, {{"QUILLBRIGHT_HOME", home.Path()}});
//   ... daemon.Running() ...
//   daemon.Signal(SIGTERM);
//   ProcessResult end = daemon.Wait(10s);
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qb::test {

// Variables set for the child on top of the inherited environment.
using Environment = std::map<std::string, std::string>;

struct ProcessResult {
  int ExitCode = -1;      // the exit status, or -1 if it ended by a signal
  int TermSignal = 0;     // the signal that ended it, or 0
  bool TimedOut = false;  // killed because the deadline passed
  std::string Output;     // standard output
  std::string Errors;     // standard error
};

class ChildProcess {
 public:
  // Starts argv[0] (looked up in PATH unless it holds a '/') with standard
  // input from /dev/null. Throws std::system_error if it cannot be started.
  explicit ChildProcess(const std::vector<std::string>& argv, const Environment& environment = {},
                        const std::string& workingFolder = {});
  ~ChildProcess();  // kills and reaps a child that is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  void Signal(int signal);
  // The first line the child has written to its standard output, once it
  // is whole (without its line end); nullopt when none came within `timeout`
  // or the child ended without one.
  std::optional<std::string> FirstOutputLine(std::chrono::milliseconds timeout);
  // Waits for the end; at the deadline the child's process group is killed.
  ProcessResult Wait(std::chrono::milliseconds timeout);

 private:
  bool Reap(int options);
  void KillGroup();

  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  int outputFd_ = -1;
  int errorsFd_ = -1;
};

// Starts the process and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const Environment& environment = {});

}  // namespace qb::test
