#include "support/ClientThread.h"

#include "support/PumpUntil.h"

namespace qb::test {

ClientThread::ClientThread(std::function<void()> script)
    : thread_([this, script = std::move(script)] {
        script();
        done_ = true;
      }) {}

ClientThread::~ClientThread() {
  if (thread_.joinable()) thread_.join();
}

bool ClientThread::Finish(std::chrono::milliseconds timeout) {
  bool finished = PumpUntil([this] { return Done(); }, timeout);
  if (finished) thread_.join();
  return finished;
}

void Gate::Open() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
  }
  opened_.notify_all();
}

bool Gate::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return opened_.wait_for(lock, timeout, [this] { return open_; });
}

}  // namespace qb::test
