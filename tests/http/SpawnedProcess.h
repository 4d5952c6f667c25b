// Test helpers that start the HTTP test servers and a proxy as child
// processes on loopback, and stop each by its pid.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace qb::testing {

// The folder of the test server scripts (this header's folder).
inline std::filesystem::path HttpTestScripts() {
  return std::filesystem::path(__FILE__).parent_path();
}

// A child process with its standard output on a pipe; stopped and reaped
// when the object goes.
class SpawnedProcess {
 public:
  explicit SpawnedProcess(const std::vector<std::string>& argv) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int error = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (error != 0) {
      close(output_);
      throw std::runtime_error("cannot start " + argv[0]);
    }
  }
  // A child that does not end within two seconds of SIGTERM (tinyproxy at
  // times) is killed, so a test can never hang here.
  ~SpawnedProcess() {
    kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      usleep(10000);
    }
    close(output_);
  }
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // One line of the child's output, waiting at most `timeout` for it.
  std::string ReadLine(std::chrono::milliseconds timeout) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char c = 0;
    while (c != '\n') {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd ready{output_, POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
          read(output_, &c, 1) != 1) {
        throw std::runtime_error("no line from the child process");
      }
      if (c != '\n') line += c;
    }
    return line;
  }

  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

// One of the scripts beside this header, bound to port 80 of a loopback
// address of its own.
class ServerProcess {
 public:
  ServerProcess(const std::string& script, const std::vector<std::string>& options)
      : process_(Command(script, options)) {
    std::string line = process_.ReadLine(std::chrono::seconds(10));
    const std::string prefix = "LISTENING ";
    if (line.rfind(prefix, 0) != 0) throw std::runtime_error("server did not start: " + line);
    address_ = line.substr(prefix.size());
  }

  const std::string& Address() const { return address_; }
  std::string Url(const std::string& path) const { return "http://" + address_ + path; }

 private:
  static std::vector<std::string> Command(const std::string& script,
                                          const std::vector<std::string>& options) {
    std::vector<std::string> argv{"python3", (HttpTestScripts() / script).string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
  }

  SpawnedProcess process_;
  std::string address_;
};

}  // namespace qb::testing
