#include "notify/TrayIcon.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using namespace std::chrono_literals;

// The click timer as a test drives it: the test decides when it runs out.
class ManualTimer : public IClickTimer {
 public:
  void Start(std::chrono::milliseconds interval) override {
    active = true;
    lastInterval = interval;
  }
  void Stop() override { active = false; }
  bool Active() const override { return active; }
  bool active = false;
  std::chrono::milliseconds lastInterval{0};
};

class RecordingHost : public ITrayHost {
 public:
  bool HasMainWindow() const override { return true; }
  void SetMainWindowVisible(bool visible) override {
    calls.push_back(visible ? "show" : "hide");
    shown = visible;
  }
  bool MainWindowMinimized() const override { return minimized; }
  void RestoreMainWindow() override {
    calls.push_back("restore");
    minimized = false;
  }
  void SetIconVisible(bool visible) override { calls.push_back(visible ? "icon" : "no icon"); }
  void SetTip(const std::string& text) override { tip = text; }
  std::vector<std::string> calls;
  std::string tip;
  bool shown = true;
  bool minimized = false;
};

class TrayIconTest : public ::testing::Test {
 protected:
  TrayIconTest() {
    tray.OnClick = [this](TTrayIcon*) { events.push_back("click"); };
    tray.OnDblClick = [this](TTrayIcon*) { events.push_back("double"); };
  }
  void Click() {
    tray.MouseDown(TMouseButton::mbLeft);
    tray.MouseUp(TMouseButton::mbLeft);
  }
  void TimerRunsOut() {
    if (timer.active) tray.ClickTimerElapsed();
  }

  ManualTimer timer;
  RecordingHost host;
  TTrayIcon tray{host, timer, 400ms};
  std::vector<std::string> events;
};

TEST_F(TrayIconTest, ASingleClickIsReportedOnceWhenTheDoubleClickTimeHasPassed) {
  Click();
  EXPECT_TRUE(events.empty()) << "a second click may still come";
  EXPECT_EQ(timer.lastInterval, 400ms);
  TimerRunsOut();
  EXPECT_EQ(events, std::vector<std::string>{"click"});
  TimerRunsOut();
  EXPECT_EQ(events, std::vector<std::string>{"click"});
}

TEST_F(TrayIconTest, AButtonHeldPastTheDoubleClickTimeClicksAtItsRelease) {
  tray.MouseDown(TMouseButton::mbLeft);
  TimerRunsOut();
  EXPECT_TRUE(events.empty());
  tray.MouseUp(TMouseButton::mbLeft);
  EXPECT_EQ(events, std::vector<std::string>{"click"});
}

// Toolkits report the second press of a double click differently: as a
// press followed by the double click, or only as the double click.
TEST_F(TrayIconTest, ADoubleClickIsReportedAtOnceAndSuppressesTheSingleClick) {
  for (bool secondPress : {false, true}) {
    events.clear();
    Click();
    if (secondPress) Click();
    tray.DoubleClick();
    EXPECT_EQ(events, std::vector<std::string>{"double"});
    if (!secondPress) tray.MouseUp(TMouseButton::mbLeft);
    TimerRunsOut();
    EXPECT_EQ(events, std::vector<std::string>{"double"}) << "second press " << secondPress;
  }
}

TEST_F(TrayIconTest, WhenDisabledTheIconIgnoresTheMouse) {
  tray.Enabled = false;
  Click();
  tray.DoubleClick();
  TimerRunsOut();
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(timer.active);
}

TEST_F(TrayIconTest, TheTipIsTheHintCutTo127CharactersAndEmptyWithoutShowHint) {
  tray.SetHint(std::string(127, 'a') + "bcd");
  EXPECT_EQ(host.tip, std::string(127, 'a'));
  tray.SetShowHint(false);
  EXPECT_EQ(host.tip, "");
  tray.SetShowHint(true);
  tray.SetHint("Quillbright");
  EXPECT_EQ(host.tip, "Quillbright");
}

TEST_F(TrayIconTest, StartMinimizedHidesTheWindowAtLoadingAndMinimizeToTrayHidesOnMinimise) {
  tray.StartMinimized = true;
  tray.Loaded();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"hide", "icon"}));
  host.calls.clear();
  tray.ApplicationMinimized();
  EXPECT_TRUE(host.calls.empty()) << "without MinimizeToTray a minimised window stays";
  tray.MinimizeToTray = true;
  tray.ApplicationMinimized();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"hide", "icon"}));
}

TEST_F(TrayIconTest, ShowMainWindowRestoresAMinimisedWindow) {
  host.minimized = true;
  tray.ShowMainWindow();
  tray.HideMainWindow();
  tray.ShowMainWindow();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"show", "restore", "hide", "show"}));
}

}  // namespace
}  // namespace qb
