#include "platform/MessageLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/Dialogs.h"

namespace qb {

namespace {

struct QueuedMessage {
  HWND Window;
  std::uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
};

struct Timer {
  std::chrono::milliseconds Interval;
  MessageLoop::Clock::time_point Due;
};

struct WatchEntry {
  DescriptorCallback Callback;
  bool Read = false;
  bool Write = false;
};

// A request from a worker thread to run code on the main thread.
struct HandOff {
  const std::function<void()>* Callback;
  std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
  std::exception_ptr Error;
};

constexpr std::uint32_t kHandOffMessage = WM_USER + 0x300;

// An exception that escapes a window procedure is shown to the user, and the
// program goes on, as in any window-message program.
void ReportEscapedException() {
  try {
    throw;
  } catch (const std::exception& e) {
    CurrentDialogs().ShowMessageBox(e.what(), TMsgDlgType::mtError);
  } catch (...) {
    CurrentDialogs().ShowMessageBox("Unknown exception", TMsgDlgType::mtError);
  }
}

}  // namespace

struct MessageLoop::Impl {
  int Epoll = -1;
  int Wake = -1;
  std::thread::id MainThread = std::this_thread::get_id();

  HWND NextWindow = 1;
  std::unordered_map<HWND, std::shared_ptr<WindowProc>> Windows;
  HWND HandOffWindow = 0;

  mutable std::mutex QueueLock;  // guards Queue; the only state other threads touch
  std::deque<QueuedMessage> Queue;

  std::map<std::pair<HWND, WPARAM>, Timer> Timers;
  std::unordered_map<int, std::shared_ptr<WatchEntry>> Watches;

  std::atomic<bool> QuitRequested{false};
  std::atomic<int> ExitCode{0};

  void WakeUp() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(Wake, &one, sizeof one);
  }

  void DrainWake() {
    std::uint64_t value;
    [[maybe_unused]] auto n = read(Wake, &value, sizeof value);
  }

  void ApplyInterest(int fd, const WatchEntry& watch, int op) {
    epoll_event ev{};
    ev.events = (watch.Read ? EPOLLIN | EPOLLRDHUP : 0u) | (watch.Write ? EPOLLOUT : 0u);
    ev.data.fd = fd;
    if (epoll_ctl(Epoll, op, fd, &ev) != 0 && op == EPOLL_CTL_MOD) {
      epoll_ctl(Epoll, EPOLL_CTL_ADD, fd, &ev);
    }
  }

  void PollDescriptors(int timeoutMs) {
    epoll_event events[64];
    int n = epoll_wait(Epoll, events, 64, timeoutMs);
    for (int i = 0; i < n; ++i) {
      int fd = events[i].data.fd;
      if (fd == Wake) {
        DrainWake();
        continue;
      }
      auto found = Watches.find(fd);
      if (found == Watches.end()) continue;
      std::shared_ptr<WatchEntry> watch = found->second;  // survives an Unwatch inside the callback
      DescriptorEvents ready;
      ready.Readable = events[i].events & EPOLLIN;
      ready.Writable = events[i].events & EPOLLOUT;
      ready.HangUp = events[i].events & (EPOLLRDHUP | EPOLLHUP);
      ready.Error = events[i].events & EPOLLERR;
      watch->Callback(ready);
    }
  }

  void QueueDueTimers() {
    auto now = Clock::now();
    for (auto& [key, timer] : Timers) {
      if (timer.Due <= now) {
        timer.Due = now + timer.Interval;
        Post(key.first, WM_TIMER, key.second, 0);
      }
    }
  }

  void Post(HWND window, std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
    bool wasEmpty;
    {
      std::lock_guard guard(QueueLock);
      wasEmpty = Queue.empty();
      Queue.push_back({window, msg, wParam, lParam});
    }
    // The main thread never sleeps in the loop while messages are queued
    // (the wait is 0 then, and a host loop's timer is due at once), so only
    // another thread's post needs the wake-up descriptor.
    if (wasEmpty && std::this_thread::get_id() != MainThread) WakeUp();
  }

  std::size_t QueuedCount() const {
    std::lock_guard guard(QueueLock);
    return Queue.size();
  }

  bool TakeMessage(QueuedMessage& out) {
    std::lock_guard guard(QueueLock);
    if (Queue.empty()) return false;
    out = Queue.front();
    Queue.pop_front();
    return true;
  }

  LRESULT Deliver(HWND window, std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
    auto found = Windows.find(window);
    if (found == Windows.end()) return 0;
    std::shared_ptr<WindowProc> proc = found->second;  // survives DestroyWindow inside
    return (*proc)(msg, wParam, lParam);
  }

  void DispatchQueued() {
    // Only what was queued when dispatching began, so a handler that posts
    // to itself cannot keep this call from returning.
    std::size_t count = QueuedCount();
    QueuedMessage message;
    while (count-- > 0 && TakeMessage(message)) {
      try {
        Deliver(message.Window, message.Msg, message.WParam, message.LParam);
      } catch (...) {
        ReportEscapedException();
      }
    }
  }

  std::optional<Clock::time_point> NextDeadline() const {
    std::optional<Clock::time_point> next;
    for (const auto& [key, timer] : Timers) {
      if (!next || timer.Due < *next) next = timer.Due;
    }
    return next;
  }

  int WaitMilliseconds(std::optional<std::chrono::milliseconds> timeout) const {
    if (QueuedCount() > 0 || QuitRequested) return 0;
    auto deadline = NextDeadline();
    std::optional<std::chrono::milliseconds> wait = timeout;
    if (deadline) {
      auto untilTimer = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      if (untilTimer.count() < 0) untilTimer = std::chrono::milliseconds(0);
      if (!wait || untilTimer < *wait) wait = untilTimer;
    }
    return wait ? static_cast<int>(wait->count()) : -1;
  }
};

MessageLoop& MessageLoop::Instance() {
  static MessageLoop loop;
  return loop;
}

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {
  impl_->Epoll = epoll_create1(EPOLL_CLOEXEC);
  impl_->Wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (impl_->Epoll < 0 || impl_->Wake < 0)
    throw std::runtime_error("Cannot create the message loop");
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = impl_->Wake;
  epoll_ctl(impl_->Epoll, EPOLL_CTL_ADD, impl_->Wake, &ev);
  impl_->HandOffWindow = CreateWindow([](std::uint32_t msg, WPARAM, LPARAM lParam) -> LRESULT {
    if (msg != kHandOffMessage) return 0;
    auto* handOff = reinterpret_cast<HandOff*>(lParam);
    try {
      (*handOff->Callback)();
    } catch (...) {
      handOff->Error = std::current_exception();
    }
    std::lock_guard guard(handOff->Lock);
    handOff->Finished = true;
    handOff->Done.notify_one();
    return 0;
  });
}

MessageLoop::~MessageLoop() {
  close(impl_->Wake);
  close(impl_->Epoll);
}

HWND MessageLoop::CreateWindow(WindowProc proc) {
  HWND window = impl_->NextWindow++;
  impl_->Windows.emplace(window, std::make_shared<WindowProc>(std::move(proc)));
  return window;
}

void MessageLoop::DestroyWindow(HWND window) {
  impl_->Windows.erase(window);
  std::erase_if(impl_->Timers, [window](const auto& entry) { return entry.first.first == window; });
}

bool MessageLoop::IsWindow(HWND window) const {
  return impl_->Windows.contains(window);
}

// The loop's own hand-off window is not counted: it lives as long as the loop.
std::size_t MessageLoop::WindowCount() const {
  return impl_->Windows.size() - 1;
}

bool MessageLoop::PostMessage(HWND window, std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (window == 0) return false;
  impl_->Post(window, msg, wParam, lParam);
  return true;
}

LRESULT MessageLoop::SendMessage(HWND window, std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  return impl_->Deliver(window, msg, wParam, lParam);
}

void MessageLoop::SetTimer(HWND window, WPARAM id, std::chrono::milliseconds interval) {
  if (interval.count() <= 0) interval = std::chrono::milliseconds(1);
  impl_->Timers[{window, id}] = Timer{interval, Clock::now() + interval};
}

void MessageLoop::KillTimer(HWND window, WPARAM id) {
  impl_->Timers.erase({window, id});
}

std::size_t MessageLoop::TimerCount() const {
  return impl_->Timers.size();
}

void MessageLoop::Watch(int fd, bool wantRead, bool wantWrite, DescriptorCallback callback) {
  auto watch = std::make_shared<WatchEntry>();
  watch->Callback = std::move(callback);
  bool existed = impl_->Watches.contains(fd);
  impl_->Watches[fd] = watch;
  watch->Read = wantRead;
  watch->Write = wantWrite;
  if (existed) epoll_ctl(impl_->Epoll, EPOLL_CTL_DEL, fd, nullptr);
  if (wantRead || wantWrite) impl_->ApplyInterest(fd, *watch, EPOLL_CTL_ADD);
}

void MessageLoop::Modify(int fd, bool wantRead, bool wantWrite) {
  auto found = impl_->Watches.find(fd);
  if (found == impl_->Watches.end()) return;
  WatchEntry& watch = *found->second;
  bool wasRegistered = watch.Read || watch.Write;
  if (watch.Read == wantRead && watch.Write == wantWrite) return;
  watch.Read = wantRead;
  watch.Write = wantWrite;
  // A descriptor with no interest leaves the epoll set: hang-up and error
  // would otherwise be reported over and over.
  if (!wantRead && !wantWrite) {
    epoll_ctl(impl_->Epoll, EPOLL_CTL_DEL, fd, nullptr);
  } else {
    impl_->ApplyInterest(fd, watch, wasRegistered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD);
  }
}

void MessageLoop::Unwatch(int fd) {
  auto found = impl_->Watches.find(fd);
  if (found == impl_->Watches.end()) return;
  if (found->second->Read || found->second->Write)
    epoll_ctl(impl_->Epoll, EPOLL_CTL_DEL, fd, nullptr);
  impl_->Watches.erase(found);
}

bool MessageLoop::IsWatched(int fd) const {
  return impl_->Watches.contains(fd);
}

std::size_t MessageLoop::WatchCount() const {
  return impl_->Watches.size();
}

void MessageLoop::ProcessMessages() {
  impl_->PollDescriptors(0);
  impl_->QueueDueTimers();
  impl_->DispatchQueued();
}

bool MessageLoop::WaitAndDispatch(std::optional<std::chrono::milliseconds> timeout) {
  impl_->PollDescriptors(impl_->WaitMilliseconds(timeout));
  impl_->QueueDueTimers();
  impl_->DispatchQueued();
  return !impl_->QuitRequested;
}

int MessageLoop::Run() {
  while (WaitAndDispatch(std::nullopt)) {
  }
  return impl_->ExitCode;
}

void MessageLoop::Quit(int exitCode) {
  impl_->ExitCode = exitCode;
  impl_->QuitRequested = true;
  impl_->WakeUp();
}

bool MessageLoop::Terminated() const {
  return impl_->QuitRequested;
}

void MessageLoop::ResetTerminated() {
  impl_->QuitRequested = false;
}

void MessageLoop::RunOnMainThread(const std::function<void()>& callback) {
  if (IsMainThread()) {
    callback();
    return;
  }
  HandOff handOff;
  handOff.Callback = &callback;
  impl_->Post(impl_->HandOffWindow, kHandOffMessage, 0, reinterpret_cast<LPARAM>(&handOff));
  std::unique_lock lock(handOff.Lock);
  handOff.Done.wait(lock, [&] { return handOff.Finished; });
  if (handOff.Error) std::rethrow_exception(handOff.Error);
}

int MessageLoop::Descriptor() const {
  return impl_->Epoll;
}

std::optional<MessageLoop::Clock::time_point> MessageLoop::NextTimerDeadline() const {
  if (impl_->QueuedCount() > 0) return Clock::now();
  return impl_->NextDeadline();
}

bool MessageLoop::IsMainThread() const {
  return std::this_thread::get_id() == impl_->MainThread;
}

}  // namespace qb
