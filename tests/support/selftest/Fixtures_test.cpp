#include "platform/Dialogs.h"
#include "platform/MessageLoop.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qb::test {
namespace {

using namespace std::chrono_literals;

TEST(TempFolder, IsFreshAndRemovedWithEverythingInIt) {
  std::filesystem::path kept;
  {
    TempFolder folder("qb-selftest");
    kept = folder.Path();
    EXPECT_TRUE(std::filesystem::is_empty(kept));
    EXPECT_EQ(kept.parent_path(), std::filesystem::temp_directory_path());
    std::ofstream(folder.MakeFolder("a/b") + "/file") << "x";
    EXPECT_EQ(folder.File("a/b/file"), (kept / "a/b/file").string());
    EXPECT_TRUE(std::filesystem::exists(folder.File("a/b/file")));
    TempFolder other("qb-selftest");
    EXPECT_NE(other.Path(), kept);
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
}

class PumpUntilTest : public ::testing::Test {
 protected:
  MessageLoop& loop = MessageLoop::Instance();
  void TearDown() override { EXPECT_EQ(loop.WindowCount(), 0u); }
};

TEST_F(PumpUntilTest, DispatchesMessagesUntilTheConditionHolds) {
  int delivered = 0;
  HWND window = loop.CreateWindow([&](std::uint32_t, WPARAM, LPARAM) -> LRESULT {
    ++delivered;
    return 0;
  });
  std::thread poster([&] {
    for (int i = 0; i < 3; ++i) loop.PostMessage(window, WM_USER);
  });
  EXPECT_TRUE(PumpUntil([&] { return delivered == 3; }, 5s));
  poster.join();
  loop.DestroyWindow(window);
}

TEST_F(PumpUntilTest, GivesUpAtTheTimeout) {
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(PumpUntil([] { return false; }, 100ms));
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 100ms);
  EXPECT_LT(took, 2s);
}

TEST_F(PumpUntilTest, NoticesAConditionSetByAnotherThreadWithoutAMessage) {
  std::atomic<bool> flag = false;
  std::thread setter([&] {
    std::this_thread::sleep_for(50ms);
    flag = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return flag.load(); }, 5s));
  setter.join();
}

TEST(RecordingDialogs, RecordsBoxesAnswersFromTheQueueAndRestoresThePrevious) {
  IDialogs* before = &CurrentDialogs();
  {
    RecordingDialogs outer;
    {
      RecordingDialogs inner;
      EXPECT_EQ(&CurrentDialogs(), &inner);
      inner.QueueInput("pop.example.org");
      inner.QueueInput(std::nullopt);
      CurrentDialogs().ShowMessageBox("Cannot open file x", TMsgDlgType::mtError);
      EXPECT_EQ(CurrentDialogs().InputBox("T", "P", "I"), "pop.example.org");
      EXPECT_EQ(CurrentDialogs().InputBox("T2", "P2", ""), std::nullopt);
      EXPECT_EQ(CurrentDialogs().InputBox("T3", "P3", ""), std::nullopt) << "empty queue";
      ASSERT_EQ(inner.MessageBoxes().size(), 1u);
      EXPECT_EQ(inner.MessageBoxes()[0].Type, TMsgDlgType::mtError);
      EXPECT_EQ(inner.MessageTexts(), std::vector<std::string>{"Cannot open file x"});
      ASSERT_EQ(inner.InputBoxes().size(), 3u);
      EXPECT_EQ(inner.InputBoxes()[0].Initial, "I");
      EXPECT_EQ(inner.InputBoxes()[2].Title, "T3");
    }
    EXPECT_EQ(&CurrentDialogs(), &outer);
    EXPECT_TRUE(outer.MessageBoxes().empty());
  }
  EXPECT_EQ(&CurrentDialogs(), before);
}

}  // namespace
}  // namespace qb::test
