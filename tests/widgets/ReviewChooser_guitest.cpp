// The main window's chooser of waiting reviews, on Qt's offscreen platform:
// two accounts whose clients were answered at the hold limit, one review
// shown and one waiting, switched by the keyboard as a user would.
#include <gtest/gtest.h>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/ScreenedSessionFixture.h"
#include "widgets/MainWindow.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class ReviewChooserTest : public ScreenedSessionTest {
 protected:
  void SetUp() override {
    ScreenedSessionTest::SetUp();
    server.AddMessage(Message("Subject: for alice"));
    other.AddMessage(Message("Subject: for the other"));
    form.Screening.ReviewLimits.Hold = 1s;
  }
  std::string OtherAccount() const { return "alice#127.0.0.1:" + std::to_string(other.Port()); }
  void ListAndQuit(const std::string& account) {
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (pop.LogIn(account, "secret")) pop.MultiLineCommand("LIST", 20s);
      pop.Command("QUIT");
    });
    EXPECT_TRUE(PumpQtUntil([&] { return client.Done(); }));
    EXPECT_TRUE(client.Finish());
  }
  QStringList Items() {
    QStringList items;
    for (int k = 0; k < window.Reviews().count(); ++k) items << window.Reviews().itemText(k);
    return items;
  }

  TLoopBridge& bridge = GuiLoopBridge();  // the application, before the window
  ScriptedPop3Server other;
  TMainWindow window{form};
};

TEST_F(ReviewChooserTest, NamesTheReviewShownAndThoseWaitingAndSwitchesToOne) {
  window.show();
  ListAndQuit(Account());
  EXPECT_FALSE(window.Reviews().isVisible()) << "nothing waits";
  ListAndQuit(OtherAccount());
  ASSERT_TRUE(PumpQtUntil([&] { return !form.WaitingReviews().empty(); }));
  EXPECT_TRUE(window.Reviews().isVisible());
  EXPECT_EQ(Items(), (QStringList{QString::fromStdString("Reviewing " + Account()),
                                  QString::fromStdString("Waiting: " + OtherAccount())}));
  EXPECT_EQ(window.Model().data(window.Model().index(0, 1), Qt::DisplayRole).toString(),
            "for alice");

  window.Reviews().setFocus();
  QTest::keyClick(&window.Reviews(), Qt::Key_Down);
  EXPECT_EQ(form.ReviewedAccount(), OtherAccount());
  EXPECT_EQ(Items(), (QStringList{QString::fromStdString("Reviewing " + OtherAccount()),
                                  QString::fromStdString("Waiting: " + Account())}));
  EXPECT_EQ(window.Reviews().currentIndex(), 0);
  EXPECT_EQ(window.Model().data(window.Model().index(0, 1), Qt::DisplayRole).toString(),
            "for the other");

  QTest::mouseClick(&window.Button1(), Qt::LeftButton);
  EXPECT_EQ(form.ReviewedAccount(), Account()) << "the one left waiting is shown next";
  EXPECT_FALSE(window.Reviews().isVisible());
}

}  // namespace
}  // namespace qb::test
