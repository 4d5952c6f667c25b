// SIGINT and SIGTERM as events of the message loop. The constructor blocks
// both signals for the calling thread (and the threads it starts later) and
// watches a signalfd, so that nothing runs inside a signal handler: the
// loop reads the signal and calls OnStop on the main thread. Create it on
// the main thread before any other thread starts.
#pragma once

#include <signal.h>

#include <functional>

namespace qb {

class TStopSignals {
 public:
  TStopSignals();
  ~TStopSignals();  // unwatches, closes, and restores the signal mask
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // Called once per signal received, with its number.
  std::function<void(int signal)> OnStop;

 private:
  void ReadSignals();

  int fd_ = -1;
  sigset_t previousMask_{};
};

}  // namespace qb
