// The program's single-threaded message loop: hidden windows, posted and sent
// messages, timers, and descriptors watched through epoll.
//
// Ownership and threading rules:
// - The loop belongs to the thread that first calls MessageLoop::Instance()
//   (the main thread). Everything but PostMessage and RunOnMainThread must be
//   called on that thread.
// - A window is a handle with a procedure. Handles are never reused, so a
//   message posted to a destroyed window is simply dropped at dispatch time.
// - Whoever creates a window destroys it; whoever sets a timer kills it or
//   destroys its window (which kills its timers); whoever watches a
//   descriptor unwatches it before closing it. WindowCount(), TimerCount()
//   and WatchCount() let tests check that nothing was left behind.
// - PostMessage is safe from any thread and wakes a waiting loop.
//   RunOnMainThread blocks a worker thread until the main thread has run the
//   callback; the main thread runs it while dispatching messages, so it also
//   runs inside modal pumps (ProcessMessages).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace qb {

using HWND = std::uint64_t;  // 0 is "no window"
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr std::uint32_t WM_TIMER = 0x0113;
constexpr std::uint32_t WM_USER = 0x0400;

// A window procedure; it returns the message's result (what SendMessage gives back).
using WindowProc = std::function<LRESULT(std::uint32_t msg, WPARAM wParam, LPARAM lParam)>;

// Readiness of a watched descriptor, as epoll reports it.
struct DescriptorEvents {
  bool Readable = false;
  bool Writable = false;
  bool HangUp = false;  // peer closed (EPOLLRDHUP / EPOLLHUP)
  bool Error = false;   // EPOLLERR
};
using DescriptorCallback = std::function<void(DescriptorEvents)>;

class MessageLoop {
 public:
  using Clock = std::chrono::steady_clock;

  static MessageLoop& Instance();

  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Windows.
  HWND CreateWindow(WindowProc proc);
  void DestroyWindow(HWND window);  // also kills the window's timers
  bool IsWindow(HWND window) const;
  std::size_t WindowCount() const;

  // Messages. PostMessage returns false only for the null window.
  bool PostMessage(HWND window, std::uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT SendMessage(HWND window, std::uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);

  // Timers: WM_TIMER with wParam = id arrives every `interval` until killed.
  // Setting an existing id again restarts it with the new interval.
  void SetTimer(HWND window, WPARAM id, std::chrono::milliseconds interval);
  void KillTimer(HWND window, WPARAM id);
  std::size_t TimerCount() const;

  // Descriptors. The callback runs on the main thread when the descriptor is
  // ready for what is asked; it is level-triggered, so the callback must
  // change the interest (Modify) or consume the readiness.
  void Watch(int fd, bool wantRead, bool wantWrite, DescriptorCallback callback);
  void Modify(int fd, bool wantRead, bool wantWrite);
  void Unwatch(int fd);
  bool IsWatched(int fd) const;
  std::size_t WatchCount() const;

  // Dispatches everything pending without blocking: ready descriptors, due
  // timers, and the messages queued when the call began.
  void ProcessMessages();
  // Waits at most `timeout` for something to do, then dispatches it.
  // Returns false if the loop was asked to quit.
  bool WaitAndDispatch(std::optional<std::chrono::milliseconds> timeout);
  // Runs until Quit().
  int Run();
  void Quit(int exitCode = 0);  // thread-safe
  bool Terminated() const;
  void ResetTerminated();

  // Cross-thread hand-off: runs `callback` on the main thread and waits for it.
  // Called on the main thread itself, it runs the callback at once.
  void RunOnMainThread(const std::function<void()>& callback);

  // Embedding into another toolkit's loop. The host loop drives this one
  // by two things only, and never calls Run() or WaitAndDispatch():
  // - it watches Descriptor() for readability (a socket, a posted message
  //   or a cross-thread wake-up all make it readable) and calls
  //   DispatchReady() when it is;
  // - it keeps one single-shot timer armed for NextTimerDeadline(), re-armed
  //   after every DispatchReady(). The deadline is "now" while messages are
  //   still queued (a handler posted more than one pass dispatches), so the
  //   timer, not the descriptor, carries them; no deadline means no timer.
  // DispatchReady() never blocks. A modal dialog of the host that runs the
  // host's own loop therefore keeps sockets, timers and posted messages
  // running, and so does any handler that pumps with ProcessMessages().
  int Descriptor() const;
  void DispatchReady() { ProcessMessages(); }
  std::optional<Clock::time_point> NextTimerDeadline() const;

  bool IsMainThread() const;

 private:
  MessageLoop();
  ~MessageLoop();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qb
