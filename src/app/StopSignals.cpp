#include "app/StopSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/MessageLoop.h"

namespace qb {

TStopSignals::TStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  int error = pthread_sigmask(SIG_BLOCK, &stopSignals, &previousMask_);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_sigmask");
  fd_ = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    int saved = errno;
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    throw std::system_error(saved, std::generic_category(), "signalfd");
  }
  MessageLoop::Instance().Watch(fd_, true, false, [this](DescriptorEvents) { ReadSignals(); });
}

TStopSignals::~TStopSignals() {
  MessageLoop::Instance().Unwatch(fd_);
  close(fd_);
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

// Bounded: a signalfd holds at most one pending instance of each signal.
void TStopSignals::ReadSignals() {
  for (int i = 0; i < 8; ++i) {
    signalfd_siginfo info{};
    ssize_t got = read(fd_, &info, sizeof info);
    if (got != static_cast<ssize_t>(sizeof info)) return;
    if (OnStop) OnStop(static_cast<int>(info.ssi_signo));
  }
}

}  // namespace qb
