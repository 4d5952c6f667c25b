// The loop driven from outside, as a host toolkit drives it: only poll() on
// Descriptor() and a timer for NextTimerDeadline(), never Run() or
// WaitAndDispatch().
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/Dialogs.h"
#include "platform/MessageLoop.h"
#include "support/RecordingDialogs.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using Clock = MessageLoop::Clock;

class EmbeddedLoopTest : public ::testing::Test {
 protected:
  MessageLoop& loop = MessageLoop::Instance();

  // One turn of a host loop: wait for the descriptor or the deadline, then
  // dispatch. Returns after `limit` turns or when `done` holds.
  template <typename Done>
  bool HostTurnsUntil(Done done, int limit = 200) {
    for (int turn = 0; turn < limit && !done(); ++turn) {
      int timeoutMs = 100;
      if (std::optional<Clock::time_point> deadline = loop.NextTimerDeadline()) {
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
        timeoutMs = static_cast<int>(std::clamp<long long>(wait.count(), 0, 100));
      }
      pollfd watched{loop.Descriptor(), POLLIN, 0};
      poll(&watched, 1, timeoutMs);
      loop.DispatchReady();
    }
    return done();
  }

  void TearDown() override {
    loop.ProcessMessages();
    EXPECT_EQ(loop.WindowCount(), 0u);
    EXPECT_EQ(loop.TimerCount(), 0u);
    EXPECT_EQ(loop.WatchCount(), 0u);
  }
};

TEST_F(EmbeddedLoopTest, PostedMessagesTimersSocketsAndWakeUpsAllArrive) {
  int posted = 0, timers = 0, fromThread = 0;
  bool readable = false;
  HWND window = loop.CreateWindow([&](std::uint32_t msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_TIMER) ++timers;
    if (msg == WM_USER + 1) ++posted;
    if (msg == WM_USER + 2) ++fromThread;
    return 0;
  });
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  loop.Watch(pair[0], true, false, [&](DescriptorEvents events) {
    char byte;
    if (events.Readable && read(pair[0], &byte, 1) == 1) readable = true;
  });

  loop.PostMessage(window, WM_USER + 1);
  loop.SetTimer(window, 7, 20ms);
  ASSERT_EQ(write(pair[1], "x", 1), 1);
  std::thread worker([&] {
    std::this_thread::sleep_for(30ms);
    loop.PostMessage(window, WM_USER + 2);
  });
  bool all = HostTurnsUntil([&] { return posted && timers >= 2 && readable && fromThread; });
  worker.join();
  EXPECT_TRUE(all) << "posted " << posted << " timers " << timers << " socket " << readable
                   << " thread " << fromThread;

  loop.KillTimer(window, 7);
  loop.Unwatch(pair[0]);
  close(pair[0]);
  close(pair[1]);
  loop.DestroyWindow(window);
}

// A handler that posts while others are still queued leaves work that no
// wake-up announces: the deadline says "now" until it is done.
TEST_F(EmbeddedLoopTest, DeadlineIsNowWhileMessagesAreQueued) {
  int chain = 0;
  HWND window = 0;
  window = loop.CreateWindow([&](std::uint32_t, WPARAM, LPARAM) -> LRESULT {
    if (++chain < 5) loop.PostMessage(window, WM_USER);
    return 0;
  });
  loop.PostMessage(window, WM_USER);
  EXPECT_FALSE(loop.NextTimerDeadline() > Clock::now() + 1s);
  EXPECT_TRUE(HostTurnsUntil([&] { return chain == 5; }, 20));
  EXPECT_FALSE(loop.NextTimerDeadline().has_value()) << "nothing queued, no timer: no deadline";
  loop.DestroyWindow(window);
}

// A message box that pumps the loop while it is open, as a modal dialog does.
class PumpingDialogs : public test::RecordingDialogs {
 public:
  std::function<void()> WhileOpen;
  void ShowMessageBox(const std::string& text, TMsgDlgType type) override {
    RecordingDialogs::ShowMessageBox(text, type);
    if (WhileOpen) WhileOpen();
  }
};

TEST_F(EmbeddedLoopTest, PostedMessageBoxShowsOnlyAfterTheRaisingHandlerReturned) {
  PumpingDialogs dialogs;
  bool handlerRunning = false, shownInsideHandler = false;
  dialogs.WhileOpen = [&] {
    shownInsideHandler = handlerRunning;
    loop.ProcessMessages();
  };
  HWND window = loop.CreateWindow([&](std::uint32_t, WPARAM, LPARAM) -> LRESULT {
    handlerRunning = true;
    PostMessageBox("Listing canceled", TMsgDlgType::mtError);
    EXPECT_TRUE(dialogs.MessageBoxes().empty()) << "the box must wait for the handler's end";
    handlerRunning = false;
    return 0;
  });
  loop.PostMessage(window, WM_USER);
  EXPECT_TRUE(HostTurnsUntil([&] { return !dialogs.MessageBoxes().empty(); }, 20));
  ASSERT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Listing canceled"});
  EXPECT_EQ(dialogs.MessageBoxes()[0].Type, TMsgDlgType::mtError);
  EXPECT_FALSE(shownInsideHandler);
  loop.DestroyWindow(window);
}

}  // namespace
}  // namespace qb
