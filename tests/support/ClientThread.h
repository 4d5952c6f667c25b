// A script (usually a mail client's session) run on a thread of its own while
// the test turns the message loop, and a gate such a script waits at until
// the test opens it. Every wait is bounded, so a test that fails early never
// hangs on a thread that waits for it.
//
//   Gate go;
//   ClientThread client([&] {
//     PlainPop3Client pop(port);
//     list = pop.MultiLineCommand("LIST", 10s);
//     go.Wait();
//     pop.Command("QUIT");
//   });
//   ... go.Open();
//   ASSERT_TRUE(client.Finish());
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qb::test {

class ClientThread {
 public:
  explicit ClientThread(std::function<void()> script);
  ~ClientThread();  // joins the thread
  ClientThread(const ClientThread&) = delete;
  ClientThread& operator=(const ClientThread&) = delete;

  bool Done() const { return done_; }
  // Turns the loop until the script has ended, then joins it; whether it ended.
  bool Finish(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Opened once by one thread, waited for by another.
class Gate {
 public:
  void Open();
  // Whether the gate was opened within `timeout`.
  bool Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

}  // namespace qb::test
