#include "platform/MessageLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace qb {
namespace {

using namespace std::chrono_literals;

class MessageLoopTest : public ::testing::Test {
 protected:
  MessageLoop& loop = MessageLoop::Instance();
  void TearDown() override {
    loop.ProcessMessages();
    EXPECT_EQ(loop.WindowCount(), 0u) << "a window was left behind";
    EXPECT_EQ(loop.TimerCount(), 0u) << "a timer was left behind";
    EXPECT_EQ(loop.WatchCount(), 0u) << "a descriptor was left watched";
    loop.ResetTerminated();
  }
};

TEST_F(MessageLoopTest, MessagePostedToADestroyedWindowIsDropped) {
  int delivered = 0;
  HWND window = loop.CreateWindow([&](std::uint32_t, WPARAM, LPARAM) -> LRESULT {
    ++delivered;
    return 0;
  });
  loop.PostMessage(window, WM_USER + 1);
  loop.DestroyWindow(window);
  loop.ProcessMessages();
  EXPECT_EQ(delivered, 0);
  EXPECT_FALSE(loop.IsWindow(window));
}

TEST_F(MessageLoopTest, PostedMessagesRunAfterTheCurrentHandlerReturns) {
  std::vector<std::string> order;
  HWND window = 0;
  window = loop.CreateWindow([&](std::uint32_t msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_USER + 1) {
      order.push_back("first begins");
      loop.PostMessage(window, WM_USER + 2);
      order.push_back("first ends");
    } else {
      order.push_back("second");
    }
    return 0;
  });
  loop.PostMessage(window, WM_USER + 1);
  loop.ProcessMessages();
  loop.ProcessMessages();
  EXPECT_EQ(order, (std::vector<std::string>{"first begins", "first ends", "second"}));
  loop.DestroyWindow(window);
}

TEST_F(MessageLoopTest, SendMessageCallsTheOwnerAtOnceAndReturnsItsResult) {
  HWND window = loop.CreateWindow(
      [](std::uint32_t msg, WPARAM wParam, LPARAM) -> LRESULT { return msg + wParam; });
  EXPECT_EQ(loop.SendMessage(window, 100, 5), 105);
  loop.DestroyWindow(window);
  EXPECT_EQ(loop.SendMessage(window, 100, 5), 0);
}

TEST_F(MessageLoopTest, MessagesArriveInTheOrderTheyWerePosted) {
  std::vector<WPARAM> seen;
  HWND window = loop.CreateWindow([&](std::uint32_t, WPARAM wParam, LPARAM) -> LRESULT {
    seen.push_back(wParam);
    return 0;
  });
  for (WPARAM i = 0; i < 5; ++i) loop.PostMessage(window, WM_USER, i);
  loop.ProcessMessages();
  EXPECT_EQ(seen, (std::vector<WPARAM>{0, 1, 2, 3, 4}));
  loop.DestroyWindow(window);
}

TEST_F(MessageLoopTest, APostFromAnotherThreadWakesAWaitingLoop) {
  bool delivered = false;
  HWND window = loop.CreateWindow([&](std::uint32_t, WPARAM, LPARAM) -> LRESULT {
    delivered = true;
    return 0;
  });
  std::thread poster([&] {
    std::this_thread::sleep_for(50ms);
    loop.PostMessage(window, WM_USER);
  });
  // Without the wake-up this wait would last the full 20 seconds.
  auto started = std::chrono::steady_clock::now();
  while (!delivered && std::chrono::steady_clock::now() - started < 20s) loop.WaitAndDispatch(20s);
  poster.join();
  EXPECT_TRUE(delivered);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  loop.DestroyWindow(window);
}

TEST_F(MessageLoopTest, TimersArriveAsMessagesUntilKilledAndDieWithTheirWindow) {
  int ticks = 0;
  HWND window = loop.CreateWindow([&](std::uint32_t msg, WPARAM id, LPARAM) -> LRESULT {
    if (msg == WM_TIMER && id == 7) ++ticks;
    return 0;
  });
  loop.SetTimer(window, 7, 1ms);
  for (int i = 0; i < 1000 && ticks < 3; ++i) loop.WaitAndDispatch(100ms);
  EXPECT_GE(ticks, 3);
  loop.KillTimer(window, 7);
  EXPECT_EQ(loop.TimerCount(), 0u);
  loop.SetTimer(window, 8, 1h);
  EXPECT_TRUE(loop.NextTimerDeadline().has_value());
  loop.DestroyWindow(window);
  EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(MessageLoopTest, RunOnMainThreadWaitsUntilTheMainThreadRanTheCallback) {
  int value = 0;
  bool workerSawValue = false;
  std::thread worker([&] {
    loop.RunOnMainThread([&] { value = 42; });
    workerSawValue = (value == 42);
  });
  for (int i = 0; i < 200 && !workerSawValue; ++i) {
    loop.WaitAndDispatch(50ms);
    if (value == 42) break;
  }
  worker.join();
  EXPECT_EQ(value, 42);
  EXPECT_TRUE(workerSawValue);
}

TEST_F(MessageLoopTest, RunReturnsTheExitCodeGivenToQuit) {
  HWND window = loop.CreateWindow([&](std::uint32_t, WPARAM, LPARAM) -> LRESULT {
    loop.Quit(3);
    return 0;
  });
  loop.PostMessage(window, WM_USER);
  EXPECT_EQ(loop.Run(), 3);
  EXPECT_TRUE(loop.Terminated());
  loop.DestroyWindow(window);
}

}  // namespace
}  // namespace qb
