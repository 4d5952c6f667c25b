#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

#include "GuiTestSupport.h"
#include "app/Unit1.h"
#include "platform/FileStore.h"
#include "support/RecordingDialogs.h"
#include "support/RegistrySandbox.h"
#include "support/ThunderbirdProfile.h"
#include "widgets/BlockListEditorDialog.h"
#include "widgets/SetupDialogs.h"

namespace qb {
namespace {

using Texts = std::vector<std::string>;

class NoNames : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {}; }
};
class SilentPopup : public IPopupNotifier {
 public:
  TPopupProperties& Properties() override { return properties; }
  void ShowPopup() override {}
  void CloseAllPopups() override {}
  TPopupProperties properties;
};
class SilentTray : public ITrayIcon {
 public:
  void ShowMainWindow() override {}
  void HideMainWindow() override {}
};

Texts Rows(QListWidget* list) {
  Texts rows;
  for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
  return rows;
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

class SetupViews : public RegistrySandbox {
 protected:
  void SetUp() override {
    test::GuiApplication();
    RegistrySandbox::SetUp();
  }
  std::string FileText(const std::string& name) {
    return ReadWholeFile(Folder() + name).value_or("<missing>");
  }

  test::ThunderbirdHomeFolder tb;
  test::RecordingDialogs dialogs;
};

TEST_F(SetupViews, TheEditorRemovesTwoAdjacentTickedRowsAndSavesAtOnce) {
  ASSERT_TRUE(WriteFileAtomically(Folder() + "senlist.txt", "a\r\nb\r\nc\r\nd\r\n"));
  TBlockListEditorDialog dialog(kSendersEditor, Folder());
  auto* list = Child<QListWidget>(&dialog, "CheckListBox1");
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Senders");
  EXPECT_EQ(Rows(list), (Texts{"a", "b", "c", "d"}));
  list->item(1)->setCheckState(Qt::Checked);
  list->item(2)->setCheckState(Qt::Checked);
  Child<QPushButton>(&dialog, "btnUnlist")->click();
  EXPECT_EQ(Rows(list), (Texts{"a", "d"}));
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(FileText("senlist.txt"), "a\r\nd\r\n");

  dialogs.QueueInput("spam@example.org");
  Child<QPushButton>(&dialog, "btnNew")->click();
  EXPECT_EQ(Rows(list), (Texts{"a", "d", "spam@example.org"}));
  EXPECT_EQ(FileText("senlist.txt"), "a\r\nd\r\nspam@example.org\r\n");
  ASSERT_EQ(dialogs.InputBoxes().size(), 1u);
  EXPECT_EQ(dialogs.InputBoxes()[0].Title, "Sender to be blocked:");

  dialog.show();
  Child<QPushButton>(&dialog, "btnOK")->click();
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SetupViews, TheModificationDialogShowsPop3AccountsAndClosingWritesOptions) {
  TForm2Dialog dialog(Folder(), 1110);
  auto* list = Child<QListWidget>(&dialog, "CheckListBox1");
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Modification Needed");
  EXPECT_EQ(Rows(list),
            (Texts{"Ann \xC3\x89lodie <ann@example.org>", "Büro – Köln ✉", "Already screened"}));
  for (int i = 0; i < list->count(); ++i) EXPECT_EQ(list->item(i)->checkState(), Qt::Checked);
  list->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(dialog.Form().CheckListBox1[1].Checked);
  Child<QCheckBox>(&dialog, "chkmodification")->setChecked(true);
  dialog.show();
  dialog.close();  // the window's close box
  EXPECT_EQ(FileText("options.txt"), "N\r\n");
  EXPECT_EQ(tb.Prefs(), test::kSamplePrefs) << "closing changes no account";
}

TEST_F(SetupViews, ChangeSettingsRewritesTheTickedThunderbirdAccountsAndCloses) {
  TForm2Dialog dialog(Folder(), 1110);
  auto* list = Child<QListWidget>(&dialog, "CheckListBox1");
  list->item(1)->setCheckState(Qt::Unchecked);
  list->item(2)->setCheckState(Qt::Unchecked);
  dialog.show();
  Child<QPushButton>(&dialog, "Button1")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ(dialogs.MessageTexts().back(), kRestartWarningText);
  EXPECT_NE(tb.Prefs().find("\"ann#pop.example.org:995/tls\""), std::string::npos);
  EXPECT_NE(tb.Prefs().find("\"mail.example.net\""), std::string::npos) << "unticked: untouched";
  EXPECT_EQ(FileText("options.txt"), "Y\r\n");
}

TEST_F(SetupViews, ClickHereOpensTheModificationDialogAboveTheUsageDialog) {
  NoNames resolver;
  SilentPopup popup;
  SilentTray tray;
  TForm1 form(popup, tray, resolver);
  form.State.ProgramFolder = Folder();
  QWidget mainWindow;
  AttachSetupDialogs(form, [&mainWindow] { return &mainWindow; });

  Texts seen;
  test::WhenModal([&] {
    auto* usage = qobject_cast<TUsageDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(usage, nullptr);
    seen.push_back("usage");
    test::WhenModal([&, usage] {
      auto* wizard = qobject_cast<TForm2Dialog*>(QApplication::activeModalWidget());
      ASSERT_NE(wizard, nullptr);
      EXPECT_EQ(wizard->parentWidget(), usage) << "above the usage dialog";
      seen.push_back("wizard");
      Child<QPushButton>(wizard, "Button2")->click();
    });
    Child<QPushButton>(usage, "Button1")->click();  // returns when the wizard has closed
    EXPECT_TRUE(usage->isVisible()) << "the usage dialog is still open";
    EXPECT_EQ(QApplication::activeModalWidget(), usage);
    seen.push_back("usage still open");
    Child<QPushButton>(usage, "OKBtn")->click();
  });
  form.OnShowUsageDialog(&form);
  EXPECT_EQ(seen, (Texts{"usage", "wizard", "usage still open"}));
  EXPECT_EQ(FileText("options.txt"), "Y\r\n");
}

// Enter closes the dialog; the rewrite says first, once, what it will do to
// each ticked account, and a Cancel there changes nothing. "Undo setup"
// says what it will set back and asks too.
TEST_F(SetupViews, TheRewriteAndItsUndoShowWhatTheyWillChangeAndAskFirst) {
  TForm2Dialog dialog(Folder(), 1110);
  EXPECT_TRUE(Child<QPushButton>(&dialog, "Button2")->isDefault());
  EXPECT_FALSE(Child<QPushButton>(&dialog, "Button1")->isDefault());
  auto* list = Child<QListWidget>(&dialog, "CheckListBox1");
  list->item(2)->setCheckState(Qt::Unchecked);
  dialog.show();
  dialogs.QueueConfirm(false);
  Child<QPushButton>(&dialog, "Button1")->click();
  ASSERT_EQ(dialogs.Confirmations().size(), 1u);
  const std::string& preview = dialogs.Confirmations()[0].Title;
  for (const char* shown : {"server pop.example.org, user ann, port 995, security TLS",
                            "server localhost, user ann#pop.example.org:995/tls, port 1110",
                            "server mail.example.net, user bob\\x, port 110, security STARTTLS"}) {
    EXPECT_NE(preview.find(shown), std::string::npos) << shown << " in\n" << preview;
  }
  EXPECT_EQ(tb.Prefs(), test::kSamplePrefs) << "cancelled: nothing changed";
  EXPECT_TRUE(dialog.isVisible());

  Child<QPushButton>(&dialog, "Button1")->click();  // yes this time
  EXPECT_EQ(dialogs.Confirmations().size(), 2u) << "one question per rewrite";
  EXPECT_NE(tb.Prefs().find("\"ann#pop.example.org:995/tls\""), std::string::npos);

  dialogs.QueueConfirm(false);
  UndoSetup();
  ASSERT_EQ(dialogs.Confirmations().size(), 3u);
  EXPECT_NE(dialogs.Confirmations()[2].Title.find("server pop.example.org, user ann, port 995"),
            std::string::npos)
      << dialogs.Confirmations()[2].Title;
  EXPECT_NE(tb.Prefs().find("\"ann#pop.example.org:995/tls\""), std::string::npos)
      << "cancelled: still pointed at the gateway";
  UndoSetup();
  EXPECT_EQ(tb.Prefs().find("\"ann#pop.example.org:995/tls\""), std::string::npos);
}

}  // namespace
}  // namespace qb
