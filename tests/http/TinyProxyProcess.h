// Debian's tinyproxy as a real HTTP proxy for the tests, listening on port
// 3128 of a free loopback address and stopped by its pid.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "http/ServerProcess.h"

namespace qb::testing {

class TinyProxyProcess {
 public:
  static constexpr int kPort = 3128;

  // Tries a few random loopback addresses until tinyproxy accepts on one.
  explicit TinyProxyProcess(const std::filesystem::path& folder) {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 5 && !process_; ++attempt) {
      address_ = "127.200." + std::to_string(random() % 250 + 1) + "." +
                 std::to_string(random() % 250 + 1);
      std::string config = (folder / "tinyproxy.conf").string();
      WriteConfig(config);
      process_ = std::make_unique<test::ChildProcess>(
          std::vector<std::string>{"tinyproxy", "-d", "-c", config});
      if (!WaitUntilAccepting()) process_.reset();
    }
    if (!process_) throw std::runtime_error("tinyproxy did not start");
  }

  // The proxy as http_proxy names it.
  std::string ProxyUrl() const { return "http://" + address_ + ":" + std::to_string(kPort) + "/"; }

 private:
  void WriteConfig(const std::string& path) const {
    std::ofstream(path) << "User nobody\nGroup nogroup\n"
                        << "Listen " << address_ << "\nPort " << kPort << "\n"
                        << "Timeout 30\nMaxClients 10\nAllow 127.0.0.0/8\nLogLevel Critical\n";
  }

  bool WaitUntilAccepting() const {
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (Accepts()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  bool Accepts() const {
    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kPort);
    inet_pton(AF_INET, address_.c_str(), &peer.sin_addr);
    bool connected = connect(sock, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
    close(sock);
    return connected;
  }

  std::string address_;
  std::unique_ptr<test::ChildProcess> process_;
};

}  // namespace qb::testing
