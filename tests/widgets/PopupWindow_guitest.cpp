#include <gtest/gtest.h>
#include <QTest>

#include "GuiTestSupport.h"
#include "widgets/PopupWindow.h"
#include "widgets/QtPopupNotifier.h"

namespace qb::test {
namespace {

TEST(PopupWindowGui, APopupStandsOnTopWithoutFocusShowsAmpersandsAndAClickClosesIt) {
  GuiLoopBridge();
  TQtPopupNotifier popup;
  int clicks = 0;
  popup.Notifier().OnClick = [&](TPopupNotifier*) { ++clicks; };
  popup.Properties().Title = "Quillbright";
  popup.Properties().Text = "Tom & Jerry's list is ready";
  popup.Properties().GradientColor1 = "$02F0F0FA";
  popup.ShowPopup();
  ASSERT_EQ(popup.Notifier().Windows().size(), 1u);
  auto* window = dynamic_cast<TPopupWindow*>(popup.Notifier().Windows()[0]->View());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->size(), QSize(150, 150));
  Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::FramelessWindowHint);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
  EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
  auto* label = window->findChild<QLabel*>();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Tom & Jerry's list is ready");
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->geometry().width(), 135);
  // The painted background starts with the first gradient colour.
  QImage shot = window->grab().toImage();
  EXPECT_EQ(shot.pixelColor(40, 1), QColor(0xFA, 0xF0, 0xF0));

  QTest::mouseClick(window, Qt::LeftButton, {}, label->geometry().center());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(popup.Notifier().PopCount(), 0);
  EXPECT_TRUE(popup.Notifier().Windows().empty());
  PumpQtUntil([] { return false; }, std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace qb::test
