#include "notify/PopupNotifier.h"

#include <gtest/gtest.h>

#include <map>

namespace qb {
namespace {

struct TPoint {
  int X, Y;
  bool operator==(const TPoint&) const = default;
};

class FakeDesktop : public IPopupDesktop {
 public:
  std::optional<TRect> Taskbar;
  TRect Area;
  std::optional<TRect> TaskbarRect() override { return Taskbar; }
  TRect WorkArea() override { return Area; }
};

struct ViewLog {
  std::vector<std::string> Calls;
  int Alive = 0;
};

class RecordingView : public IPopupView {
 public:
  explicit RecordingView(ViewLog& log) : log_(log) { ++log_.Alive; }
  ~RecordingView() override { --log_.Alive; }
  void SetBounds(const TRect&) override {}
  void ShowNoActivate() override { log_.Calls.push_back("show"); }
  void Hide() override { log_.Calls.push_back("hide"); }
  void StartExitTimer(std::chrono::milliseconds interval) override {
    log_.Calls.push_back("timer " + std::to_string(interval.count()));
  }

 private:
  ViewLog& log_;
};

// The desktop of the worked examples: a 1024 by 768 screen whose taskbar
// takes 30 pixels on one side.
class PopupNotifierTest : public ::testing::Test {
 protected:
  PopupNotifierTest() {
    LoadPopupNotifier1(notifier);
    TaskbarAt(teBottom);
  }
  void TaskbarAt(int edge) {
    const TRect screen{0, 0, 1024, 768};
    const std::map<int, TRect> areas = {{teLeft, {30, 0, 1024, 768}},
                                        {teTop, {0, 30, 1024, 768}},
                                        {teRight, {0, 0, 994, 768}},
                                        {teBottom, {0, 0, 1024, 738}}};
    desktop.Area = areas.at(edge);
    desktop.Taskbar = TaskbarRectFromScreen(screen, desktop.Area);
  }
  TRect LastBounds() const { return notifier.Windows().back()->Bounds(); }
  TPoint TopLeft() const { return {LastBounds().Left, LastBounds().Top}; }

  FakeDesktop desktop;
  ViewLog log;
  TPopupNotifier notifier{
      desktop, [this](TfrmPopupNotifier&) { return std::make_unique<RecordingView>(log); }};
};

TEST(TaskbarEdge, FollowsTheRectangleRulesAndTheScreenStrip) {
  EXPECT_EQ(GetTaskbarEdge(std::nullopt), teUnknown);
  EXPECT_EQ(GetTaskbarEdge(TRect{0, 0, 30, 768}), teLeft);
  EXPECT_EQ(GetTaskbarEdge(TRect{0, 0, 1024, 30}), teTop);
  EXPECT_EQ(GetTaskbarEdge(TRect{994, 0, 1024, 768}), teRight);
  EXPECT_EQ(GetTaskbarEdge(TRect{0, 738, 1024, 768}), teBottom);
  const TRect screen{0, 0, 1024, 768};
  EXPECT_EQ(TaskbarRectFromScreen(screen, {0, 0, 994, 768}), (TRect{994, 0, 1024, 768}));
  // A top panel and a wider left dock: the wider strip is the taskbar.
  EXPECT_EQ(GetTaskbarEdge(TaskbarRectFromScreen(screen, {60, 25, 1024, 768})), teLeft);
  // A screen that keeps no strip counts as a taskbar at the bottom.
  EXPECT_EQ(GetTaskbarEdge(TaskbarRectFromScreen(screen, screen)), teBottom);
}

TEST(TaskbarEdge, ATrayIconOnABareDesktopMarksTheStripItStandsIn) {
  const TRect screen{0, 0, 1024, 768};
  struct Case {
    TRect Icon;
    int Edge;
    TRect WorkArea;
  };
  const Case cases[] = {
      {{1000, 744, 1024, 768}, teBottom, {0, 0, 1024, 744}},
      {{1000, 0, 1024, 24}, teTop, {0, 24, 1024, 768}},
      {{2, 300, 26, 324}, teLeft, {26, 0, 1024, 768}},
      {{996, 300, 1020, 324}, teRight, {0, 0, 996, 768}},
  };
  for (const Case& c : cases) {
    TRect strip = StripAroundIcon(screen, c.Icon);
    EXPECT_EQ(GetTaskbarEdge(strip), c.Edge);
    EXPECT_EQ(WorkAreaBesideStrip(screen, strip), c.WorkArea);
  }
}

TEST_F(PopupNotifierTest, BesideABottomTaskbarThePopupStandsAtTheWorkAreasBottomRight) {
  ASSERT_TRUE(notifier.ShowPopup());
  EXPECT_EQ(LastBounds(), (TRect{858, 586, 1008, 736}));
  EXPECT_EQ(notifier.PopCount(), 1);
  EXPECT_EQ(log.Calls, (std::vector<std::string>{"timer 100000000", "show"}));
}

TEST_F(PopupNotifierTest, CascadedPopupsStackUpwardsUnstackedOnesCoverEachOther) {
  notifier.Options = pnCascadePopups;
  notifier.ShowPopup();
  notifier.ShowPopup();
  EXPECT_EQ(TopLeft(), (TPoint{858, 434}));
  EXPECT_EQ(notifier.CascadeOffset(), 304);

  TPopupNotifier plain{desktop,
                       [this](TfrmPopupNotifier&) { return std::make_unique<RecordingView>(log); }};
  LoadPopupNotifier1(plain);
  plain.ShowPopup();
  plain.ShowPopup();
  EXPECT_EQ(plain.Windows()[0]->Bounds(), plain.Windows()[1]->Bounds());
  EXPECT_EQ(plain.CascadeOffset(), 0);
}

TEST_F(PopupNotifierTest, PlacementFollowsTheTaskbarEdgeAndLocationOneCentres) {
  struct Case {
    int Edge;
    int Location;
    TPoint Expected;
  };
  const Case cases[] = {
      {teLeft, 0, {46, 616}},    {teTop, 0, {858, 32}},   {teRight, 0, {828, 616}},
      {teBottom, 0, {858, 586}}, {teLeft, 1, {437, 309}}, {teTop, 1, {437, 309}},
  };
  for (const Case& c : cases) {
    TaskbarAt(c.Edge);
    notifier.Location = c.Location;
    notifier.CloseAllPopups();
    ASSERT_TRUE(notifier.ShowPopup());
    EXPECT_EQ(TopLeft(), c.Expected) << "edge " << c.Edge << " location " << c.Location;
  }
}

TEST_F(PopupNotifierTest, AStackWithoutRoomRefusesTheNextPopupAndChangesNothing) {
  notifier.Options = pnCascadePopups;
  int opened = 0;
  while (notifier.ShowPopup() && opened < 100) ++opened;
  // 738 rows: four popups of 150 + 2; a fifth would need 4 * 152 + 152 > 738.
  EXPECT_EQ(opened, 4);
  EXPECT_EQ(notifier.PopCount(), 4);
  EXPECT_EQ(notifier.Windows().size(), 4u);
}

TEST_F(PopupNotifierTest, TheTaskbarMovingStartsTheCountAgain) {
  notifier.Options = pnCascadePopups;
  notifier.ShowPopup();
  notifier.ShowPopup();
  TaskbarAt(teTop);
  notifier.ShowPopup();
  EXPECT_EQ(notifier.PopCount(), 1);
  EXPECT_EQ(TopLeft(), (TPoint{858, 32}));
}

TEST_F(PopupNotifierTest, AnUnknownTaskbarLeavesTheWindowUnplacedAndTheStackAsItIs) {
  notifier.Options = pnCascadePopups;
  desktop.Taskbar = std::nullopt;
  notifier.ShowPopup();
  EXPECT_EQ(TopLeft(), (TPoint{0, 0}));
  EXPECT_EQ(notifier.CascadeOffset(), 0);
}

TEST_F(PopupNotifierTest, AClickRaisesOnClickOnceAndTheWindowIsFreedAfterTheEvent) {
  int clicks = 0;
  std::vector<int> aliveDuringClick;
  notifier.OnClick = [&](TPopupNotifier*) {
    ++clicks;
    aliveDuringClick.push_back(log.Alive);
  };
  notifier.ShowPopup();
  notifier.ShowPopup();
  notifier.Windows()[0]->TextClicked();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(notifier.PopCount(), 1);
  EXPECT_EQ(notifier.Windows().size(), 1u);
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(log.Alive, 1);
  notifier.Windows()[0]->ButtonReleased();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(notifier.PopCount(), 0);
  EXPECT_EQ(aliveDuringClick, (std::vector<int>{2, 1}));
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(log.Alive, 0);
}

// CloseAllPopups from inside a window's click only hides that window; the
// click's own close destroys it afterwards, and the count stays right.
TEST_F(PopupNotifierTest, ClosingAllFromInsideAClickHidesThatWindowUntilTheClickEnds) {
  notifier.ShowPopup();
  notifier.ShowPopup();
  notifier.OnClick = [&](TPopupNotifier*) {
    notifier.CloseAllPopups();
    EXPECT_EQ(notifier.Windows().size(), 1u);
    EXPECT_FALSE(notifier.Windows()[0]->Visible());
  };
  notifier.Windows()[1]->TextClicked();
  EXPECT_TRUE(notifier.Windows().empty());
  EXPECT_EQ(notifier.PopCount(), 0);
}

TEST_F(PopupNotifierTest, CloseAllWithACountOfZeroStillClosesOneWindow) {
  notifier.ShowPopup();
  TaskbarAt(teLeft);
  notifier.ShowPopup();  // the taskbar moved: the count starts again at 1
  ASSERT_EQ(notifier.PopCount(), 1);
  notifier.Windows()[1]->Close();
  ASSERT_EQ(notifier.PopCount(), 0);
  notifier.CloseAllPopups();
  EXPECT_TRUE(notifier.Windows().empty());
  MessageLoop::Instance().ProcessMessages();
  EXPECT_EQ(log.Alive, 0);
}

TEST(PopupColours, BlendColorMatchesMulDivRoundingAndTheColourTextsReadAsRedLowest) {
  const TColor c1 = ParseColorText("$02F0F0FA");
  const TColor c2 = ParseColorText("$02A0A0FA");
  EXPECT_EQ(c1, RGB(0xFA, 0xF0, 0xF0));
  EXPECT_EQ(c2, RGB(0xFA, 0xA0, 0xA0));
  EXPECT_EQ(ParseColorText("red"), 0u);

  TPopupWindowSettings settings;
  settings.Height = 150;
  settings.GradientColor1 = RGB(0x00, 0x66, 0xCC);
  settings.GradientColor2 = RGB(0xFF, 0xFF, 0xFF);
  std::vector<TColor> rows = GradientLines(settings);
  ASSERT_EQ(rows.size(), 151u);
  EXPECT_EQ(rows[0], settings.GradientColor1);
  // Row 75 of 150: each channel halfway, MulDiv rounding halves up.
  EXPECT_EQ(rows[75], RGB(0x80, 0xB3, 0xE6));
  EXPECT_EQ(rows[150], settings.GradientColor2);
  EXPECT_EQ(BlendColor(RGB(255, 0, 0), RGB(0, 255, 0), 2, 3), RGB(127, 128, 0));
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
}

TEST(PopupText, LayoutCentresTheLabelRoundingHalvesToEven) {
  EXPECT_EQ(LayoutText(150, 150, 39), (TRect{8, 56, 143, 95}));  // 7.5 -> 8, 55.5 -> 56
  EXPECT_EQ(LayoutText(149, 150, 41), (TRect{8, 54, 142, 95}));  // 7.5 -> 8, 54.5 -> 54
}

}  // namespace
}  // namespace qb
