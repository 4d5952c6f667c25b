#include "widgets/LoopBridge.h"

#include <QAbstractEventDispatcher>
#include <algorithm>
#include <chrono>

#include "platform/MessageLoop.h"

namespace qb {

TLoopBridge::TLoopBridge(QObject* parent)
    : QObject(parent), notifier_(MessageLoop::Instance().Descriptor(), QSocketNotifier::Read) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&notifier_, &QSocketNotifier::activated, this, &TLoopBridge::Dispatch);
  connect(&timer_, &QTimer::timeout, this, &TLoopBridge::Dispatch);
  // Handlers of Qt's own events may post messages or set timers of ours.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TLoopBridge::Rearm);
  }
  Rearm();
}

void TLoopBridge::Dispatch() {
  MessageLoop::Instance().DispatchReady();
  Rearm();
}

void TLoopBridge::Rearm() {
  std::optional<MessageLoop::Clock::time_point> deadline =
      MessageLoop::Instance().NextTimerDeadline();
  if (!deadline) {
    timer_.stop();
    return;
  }
  auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - MessageLoop::Clock::now());
  int ms = static_cast<int>(std::clamp<long long>(wait.count(), 0, 24LL * 3600 * 1000));
  if (timer_.isActive() && timer_.remainingTime() <= ms) return;
  timer_.start(ms);
}

}  // namespace qb
