// Lets Qt's event loop drive the program's message loop, following the
// embedding rule of platform/MessageLoop.h: a QSocketNotifier on the loop's
// descriptor and one single-shot QTimer for its next deadline, re-armed
// after every dispatch and whenever Qt is about to wait. Modal dialogs run
// Qt's loop, so the network keeps running while they are open.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace qb {

class TLoopBridge : public QObject {
  Q_OBJECT

 public:
  explicit TLoopBridge(QObject* parent = nullptr);

 private:
  void Dispatch();
  void Rearm();

  QSocketNotifier notifier_;
  QTimer timer_;
};

}  // namespace qb
