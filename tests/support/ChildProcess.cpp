#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

extern char** environ;

namespace qb::test {

namespace {

constexpr std::chrono::milliseconds kPollInterval(5);

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

std::string FindExecutable(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::filesystem::path candidate =
        std::filesystem::path(folders.substr(start, end - start)) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  ThrowErrno(ENOENT, "cannot find " + name + " in PATH");
}

std::vector<std::string> MergedEnvironment(const Environment& overrides) {
  Environment merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    std::size_t equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : overrides) merged[name] = value;
  std::vector<std::string> entries;
  for (const auto& [name, value] : merged) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int MakeCaptureFile(const char* name) {
  int fd = ::memfd_create(name, MFD_CLOEXEC);
  if (fd < 0) ThrowErrno(errno, "memfd_create");
  return fd;
}

std::string ReadCaptured(int fd) {
  std::string text;
  char chunk[16 * 1024];
  off_t offset = 0;
  while (true) {
    ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return text;
    text.append(chunk, static_cast<std::size_t>(got));
    offset += got;
  }
}

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const char* program, char** argv, char** envp, const char* folder,
                            int outputFd, int errorsFd, int reportFd, pid_t parent) {
  ::setpgid(0, 0);
  // A test process that dies (a crash, a pipe closed under it) must not leave
  // servers behind.
  if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(127);
  int input = ::open("/dev/null", O_RDONLY);
  if (input < 0 || ::dup2(input, 0) < 0 || ::dup2(outputFd, 1) < 0 || ::dup2(errorsFd, 2) < 0 ||
      (folder[0] != '\0' && ::chdir(folder) != 0)) {
    int error = errno;
    [[maybe_unused]] ssize_t written = ::write(reportFd, &error, sizeof error);
    ::_exit(127);
  }
  // Leave the report pipe open (it closes on exec) and close everything else
  // the test process holds: listening sockets must not outlive it in a child.
  if (reportFd > 3) ::close_range(3, static_cast<unsigned>(reportFd) - 1, 0);
  ::close_range(static_cast<unsigned>(reportFd) + 1, ~0U, 0);
  ::execve(program, argv, envp);
  int error = errno;
  [[maybe_unused]] ssize_t written = ::write(reportFd, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           const std::string& workingFolder) {
  if (argv.empty()) ThrowErrno(EINVAL, "empty argument list");
  std::string program = FindExecutable(argv[0]);
  std::vector<std::string> arguments = argv;
  std::vector<std::string> variables = MergedEnvironment(environment);
  std::vector<char*> argumentPointers = Pointers(arguments);
  std::vector<char*> variablePointers = Pointers(variables);
  outputFd_ = MakeCaptureFile("child-stdout");
  errorsFd_ = MakeCaptureFile("child-stderr");
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) ThrowErrno(errno, "pipe2");
  pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) ThrowErrno(errno, "fork");
  if (pid_ == 0) {
    ExecChild(program.c_str(), argumentPointers.data(), variablePointers.data(),
              workingFolder.c_str(), outputFd_, errorsFd_, report[1], parent);
  }
  ::close(report[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == sizeof childError) {
    Reap(0);
    ThrowErrno(childError, "cannot start " + program);
  }
}

ChildProcess::~ChildProcess() {
  if (!reaped_ && !Reap(WNOHANG)) {
    KillGroup();
    Reap(0);
  }
  ::close(outputFd_);
  ::close(errorsFd_);
}

bool ChildProcess::Running() {
  return !reaped_ && !Reap(WNOHANG);
}

void ChildProcess::Signal(int signal) {
  if (!reaped_) ::kill(pid_, signal);
}

ProcessResult ChildProcess::Wait(std::chrono::milliseconds timeout) {
  ProcessResult result;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kPollInterval);
  }
  if (!reaped_) {
    result.TimedOut = true;
    KillGroup();
    Reap(0);
  }
  if (WIFEXITED(status_)) result.ExitCode = WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) result.TermSignal = WTERMSIG(status_);
  result.Output = ReadCaptured(outputFd_);
  result.Errors = ReadCaptured(errorsFd_);
  return result;
}

std::optional<std::string> ChildProcess::FirstOutputLine(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    std::string output = ReadCaptured(outputFd_);
    std::size_t end = output.find('\n');
    if (end != std::string::npos) return output.substr(0, end);
    if (!Running() || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ChildProcess::Reap(int options) {
  pid_t done;
  do {
    done = ::waitpid(pid_, &status_, options);
  } while (done < 0 && errno == EINTR);
  if (done == pid_ || (done < 0 && errno == ECHILD)) reaped_ = true;
  return reaped_;
}

// The child leads its own process group, so this reaches what it started too.
void ChildProcess::KillGroup() {
  ::kill(-pid_, SIGKILL);
}

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const Environment& environment) {
  ChildProcess child(argv, environment);
  return child.Wait(timeout);
}

}  // namespace qb::test
