// The settings dialog over a program folder of its own: what the file holds
// fills the fields, a setting the environment holds is shown, locked and
// explained, a refused value stays in its field with the reason, and OK
// writes the file.
#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "GuiTestSupport.h"
#include "app/ProgramSettings.h"
#include "platform/FileStore.h"
#include "support/ProgramEnvironment.h"
#include "support/TempFolder.h"
#include "widgets/SettingsDialog.h"

namespace qb::test {
namespace {

TEST(SettingsDialogTest, ShowsTheFileLocksTheEnvironmentsRefusesAndWrites) {
  GuiApplication();
  TempFolder folder("qb-settings");
  const std::string home = folder.Path().string() + "/";
  ScopedVariable port("QUILLBRIGHT_POP3_PORT", "2110");
  ScopedVariable hold("QUILLBRIGHT_REVIEW_HOLD", std::nullopt);
  ASSERT_TRUE(WriteSettingsFile(home, {{"port", "1110"}, {"review-hold", "60"}}));
  TSettingsDialog dialog(home);

  QLineEdit* portField = dialog.Field("port");
  ASSERT_NE(portField, nullptr);
  EXPECT_FALSE(portField->isEnabled());
  EXPECT_EQ(portField->text(), "2110") << "the value in effect";
  const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* label) {
    return label->text().contains("Set by QUILLBRIGHT_POP3_PORT in the environment");
  }));
  EXPECT_EQ(dialog.Field("review-hold")->text(), "60");

  dialog.Field("review-hold")->setText("600");
  EXPECT_FALSE(dialog.Save());
  EXPECT_EQ(dialog.Field("review-hold")->text(), "600") << "kept to be corrected";
  EXPECT_TRUE(dialog.Problem().text().startsWith("Review hold (seconds): please give"));
  EXPECT_EQ(ReadSettingsFile(home).at("review-hold"), "60");

  dialog.Field("review-hold")->setText(" 120 ");
  dialog.Field("update-url")->setText("https://lists.example.org");
  EXPECT_TRUE(dialog.Save());
  EXPECT_EQ(
      ReadSettingsFile(home),
      (std::map<std::string, std::string>{
          {"port", "1110"}, {"review-hold", "120"}, {"update-url", "https://lists.example.org"}}))
      << "the environment's port never replaces the file's";
}

}  // namespace
}  // namespace qb::test
