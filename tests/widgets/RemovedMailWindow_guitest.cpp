#include <gtest/gtest.h>

#include <filesystem>

#include "GuiTestSupport.h"
#include "screening/RemovedMail.h"
#include "screening/RestoredMail.h"
#include "support/TempFolder.h"
#include "widgets/RemovedMailWindow.h"

namespace qb::test {
namespace {

TEST(RemovedMailWindowGui, ListsTheLogNewestFirstAndOpensOrDeliversOnlyCopiesThatExist) {
  GuiApplication();
  TempFolder folder;
  std::string home = folder.Path().string() + "/";
  for (const char* copy : {"kept.eml", kNoCopy}) {
    TRemovalFacts facts{"U", "10", MessageCategory::mcBlockedSender, "spam@", "spam@x", "offer"};
    ASSERT_TRUE(AppendRemovalLog(
        home + kRemovedLogFile,
        FormatRemovalLogLine(std::chrono::system_clock::now(), "alice#h", facts, copy)));
  }
  ASSERT_TRUE(StoreRemovedCopy(home + kRemovedFolder, "kept.eml", "x"));
  TRemovedMailWindow window(home);
  ASSERT_EQ(window.Table().rowCount(), 2);
  EXPECT_EQ(window.Table().item(0, 7)->text(), "no copy");
  EXPECT_EQ(window.Table().item(1, 7)->text(), "kept");
  EXPECT_EQ(window.Table().item(1, 3)->text(), "spam@");
  EXPECT_FALSE(window.OpenButton().isEnabled());
  window.Table().selectRow(0);
  EXPECT_FALSE(window.OpenButton().isEnabled()) << "nothing to open";
  window.Table().selectRow(1);
  EXPECT_TRUE(window.OpenButton().isEnabled());

  ASSERT_TRUE(window.DeliverButton().isEnabled());
  window.DeliverButton().click();
  EXPECT_TRUE(std::filesystem::exists(home + kDeliverFolder + "kept.eml"));
  EXPECT_EQ(window.Table().item(1, 7)->text(), "to be delivered");
  EXPECT_EQ(window.Table().item(1, 7)->toolTip(), "kept.eml");
  EXPECT_TRUE(window.OpenButton().isEnabled()) << "the copy still opens";
  EXPECT_FALSE(window.DeliverButton().isEnabled()) << "marked once";
}

}  // namespace
}  // namespace qb::test
