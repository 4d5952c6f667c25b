// The HTTP test servers: the scripts beside this header, started as child
// processes on loopback addresses of their own and stopped by their pid.
#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace qb::testing {

// The folder of the test server scripts (this header's folder).
inline std::filesystem::path HttpTestScripts() {
  return std::filesystem::path(QB_TESTS_SOURCE_DIR) / "http";
}

// One of the scripts beside this header, bound to port 80 of a loopback
// address of its own, or to the port its options name ("address:port").
class ServerProcess {
 public:
  ServerProcess(const std::string& script, const std::vector<std::string>& options)
      : process_(Command(script, options)) {
    std::string line = process_.FirstOutputLine(std::chrono::seconds(10)).value_or("");
    const std::string prefix = "LISTENING ";
    if (line.rfind(prefix, 0) != 0) throw std::runtime_error("server did not start: " + line);
    address_ = line.substr(prefix.size());
  }

  const std::string& Address() const { return address_; }
  std::string Url(const std::string& path, const std::string& scheme = "http") const {
    return scheme + "://" + address_ + path;
  }

 private:
  static std::vector<std::string> Command(const std::string& script,
                                          const std::vector<std::string>& options) {
    std::vector<std::string> argv{"python3", (HttpTestScripts() / script).string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
  }

  test::ChildProcess process_;
  std::string address_;
};

}  // namespace qb::testing
