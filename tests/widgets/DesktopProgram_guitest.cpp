// The desktop program's views on Qt's offscreen platform, built as the
// program builds them (TDesktopProgram), with a scripted POP3 server behind
// the gateway and mail clients on threads of their own.
#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "DesktopProgramFixture.h"
#include "GuiTestSupport.h"
#include "app/StartMessages.h"
#include "platform/FileStore.h"
#include "setup/ThunderbirdAccounts.h"
#include "support/ClientThread.h"
#include "support/LoopbackSockets.h"
#include "support/PlainPop3Client.h"
#include "support/ProgramEnvironment.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingShell.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"
#include "widgets/BlockListEditorDialog.h"
#include "widgets/DesktopProgram.h"
#include "widgets/QtDialogs.h"
#include "widgets/SetupDialogs.h"

namespace qb::test {
namespace {

TEST_F(DesktopProgramTest, TheLoginSwitchesFromTheIntroductionToTheReviewLayout) {
  Start();
  Window().show();
  EXPECT_TRUE(Window().IntroductionPanel().isVisible());
  EXPECT_FALSE(Window().Panel1().isVisible());
  ListingClient client(port, Account());
  ASSERT_TRUE(PumpQtUntil([&] { return Window().Panel1().isVisible(); }));
  EXPECT_FALSE(Window().IntroductionPanel().isVisible());
  EXPECT_TRUE(Window().ReviewListView1().isVisible());
  ASSERT_TRUE(ScanShown());
  QTest::mouseClick(&Window().Button1(), Qt::LeftButton);
  ASSERT_TRUE(PumpQtUntil([&] { return client.Done(); }));
}

TEST_F(DesktopProgramTest, RowsShowTheirIconsAndTicksAndSortOnAHeaderClick) {
  Start();
  Window().show();
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  // The scan sorts by size, largest first; the blocked sender is ticked.
  EXPECT_EQ(FromColumn(), (std::vector<std::string>{"Anna@example.org", "friend@example.org",
                                                    "pills@spam.example"}));
  EXPECT_EQ(Cell(2, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
  EXPECT_EQ(Cell(0, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  for (int row = 0; row < 3; ++row) {
    EXPECT_FALSE(Cell(row, 0, Qt::DecorationRole).value<QIcon>().isNull()) << "row " << row;
  }
  EXPECT_EQ(Cell(2, 1).toString(), "cheap & more");
  EXPECT_TRUE(
      Window().ReviewListView1().isColumnHidden(TReviewListModel::Section(ReviewColumn::Uid)));

  ClickHeader(0);  // From, ignoring case
  EXPECT_EQ(FromColumn(), (std::vector<std::string>{"Anna@example.org", "friend@example.org",
                                                    "pills@spam.example"}));
  ClickHeader(1);  // Subject
  EXPECT_EQ(FromColumn(), (std::vector<std::string>{"Anna@example.org", "pills@spam.example",
                                                    "friend@example.org"}));
  EXPECT_EQ(program->Form().ReviewListView1.SortColumn, ReviewColumn::Subject);

  // A tick set in the view goes through the window's logic.
  ASSERT_TRUE(
      Window().Model().setData(Window().Model().index(0, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(program->Form().ReviewListView1[0].Checked);
  QTest::mouseClick(&Window().Button1(), Qt::LeftButton);
  ASSERT_TRUE(PumpQtUntil([&] { return client.Done(); }));
}

TEST_F(DesktopProgramTest, ContextMenuItemsEnableOverARowAsTheListsSayAndNotAtAllOverNoRow) {
  Start();
  Window().show();
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  QTableView& list = Window().ReviewListView1();
  auto enabled = [](QMenu& menu) {
    std::vector<bool> states;
    for (QAction* action : menu.actions()) states.push_back(action->isEnabled());
    return states;
  };
  QMenu& overTicked =
      Window().PrepareContextMenu(list.visualRect(Window().Model().index(2, 0)).center());
  ASSERT_EQ(overTicked.actions().size(), 6);
  EXPECT_EQ(overTicked.actions()[1]->text(), "Block this s&ender (From: field)");
  // The sender is listed already; the row is ticked.
  EXPECT_EQ(enabled(overTicked), (std::vector<bool>{true, false, true, true, true, true}));
  EXPECT_EQ(list.selectionModel()->selectedRows().value(0).row(), 2);
  EXPECT_EQ(overTicked.actions()[5]->text(), "&Always allow this sender");
  overTicked.actions()[5]->trigger();
  EXPECT_EQ(Cell(2, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked)
      << "a friend's row is unticked";

  QMenu& overUseful =
      Window().PrepareContextMenu(list.visualRect(Window().Model().index(0, 1)).center());
  EXPECT_EQ(enabled(overUseful), (std::vector<bool>{true, true, true, false, false, true}));
  overUseful.actions()[0]->trigger();  // "Block this subject"
  EXPECT_EQ(Cell(0, 0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);

  QMenu& overNothing = Window().PrepareContextMenu(QPoint(5, list.viewport()->height() - 3));
  EXPECT_EQ(enabled(overNothing), (std::vector<bool>(6, false)));
  QTest::mouseClick(&Window().Button1(), Qt::LeftButton);
  ASSERT_TRUE(PumpQtUntil([&] { return client.Done(); }));
}

TEST_F(DesktopProgramTest, RemoveCheckedReleasesTheListToTheClientAndDisablesItself) {
  Start();
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  EXPECT_TRUE(Window().isVisible()) << "the scan brings the window up from the tray";
  EXPECT_FALSE(client.Done()) << "the list is held back until Remove Checked";
  QTest::mouseClick(&Window().Button1(), Qt::LeftButton);
  EXPECT_FALSE(Window().Button1().isEnabled());
  EXPECT_FALSE(Window().isVisible()) << "the window goes back to the tray";
  EXPECT_TRUE(Window().AccountLabel().text().isEmpty());
  ASSERT_TRUE(PumpQtUntil([&] { return client.Done(); }));
  EXPECT_EQ(client.listing.substr(0, 3), "+OK");
  EXPECT_NE(client.listing.find("\r\n2 "), std::string::npos) << client.listing;
  EXPECT_EQ(client.listing.find("\r\n3 "), std::string::npos)
      << "the ticked message is removed before the list goes out: " << client.listing;
}

// A modal box runs Qt's loop; through the bridge the gateway goes on: a
// whole scan happens while the box is open.
TEST_F(DesktopProgramTest, AMessageBoxOpenDuringAScanDoesNotStopOtherSessions) {
  TQtDialogs qtDialogs;
  Start();
  bool scannedWhileOpen = false;
  std::unique_ptr<ListingClient> client;
  QTimer::singleShot(0, [&] {
    QTimer* watch = new QTimer;
    QObject::connect(watch, &QTimer::timeout, [&, watch] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) return;
      if (!client) client = std::make_unique<ListingClient>(port, Account());
      if (Window().Button1().isEnabled()) {
        scannedWhileOpen = true;
        watch->deleteLater();
        box->close();
      }
    });
    watch->start(20);
    CurrentDialogs().ShowMessageBox("A box that stays open", TMsgDlgType::mtInformation);
  });
  ASSERT_TRUE(PumpQtUntil([&] { return scannedWhileOpen; }));
  QTest::mouseClick(&Window().Button1(), Qt::LeftButton);
  ASSERT_TRUE(PumpQtUntil([&] { return client->Done(); }));
}

TEST_F(DesktopProgramTest, ClosingHidesTheWindowAndTheTraysExitEndsWithStatusZero) {
  Start();
  program->Tray().ShowMainWindow();
  ASSERT_TRUE(Window().isVisible());
  Window().close();
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(program->Form().MailGateway1.Active()) << "the program runs on in the tray";
  QAction* exit = program->Tray().Menu().actions().value(4);
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit->text(), "E&xit");
  QTimer::singleShot(0, exit, &QAction::trigger);
  EXPECT_EQ(program->Run(), 0);
  EXPECT_FALSE(program->Form().MailGateway1.Active());
}

TEST_F(DesktopProgramTest, StartWithMySessionCreatesAndRemovesTheAutostartEntry) {
  ScopedVariable config("XDG_CONFIG_HOME", home.File("config"));
  std::string entry = home.File("config") + "/autostart/quillbright.desktop";
  Start();
  QAction& option = Window().StartWithSession();
  EXPECT_TRUE(option.isCheckable());
  EXPECT_FALSE(option.isChecked());
  option.trigger();
  EXPECT_TRUE(option.isChecked());
  // The start from the session gets the same folder and the same port.
  std::string text = ReadWholeFile(entry).value_or("");
  std::string exe = " " + std::filesystem::read_symlink("/proc/self/exe").string() + "\n";
  EXPECT_NE(text.find("\nExec=env QUILLBRIGHT_HOME="), std::string::npos) << text;
  EXPECT_NE(text.find(" QUILLBRIGHT_POP3_PORT=" + std::to_string(port) + " "), std::string::npos);
  EXPECT_NE(text.find(exe), std::string::npos) << text;
  option.trigger();
  EXPECT_FALSE(option.isChecked());
  EXPECT_FALSE(std::filesystem::exists(entry));

  // An entry made or switched off elsewhere shows when the menu opens.
  ASSERT_TRUE(WriteFileAtomically(entry, "[Desktop Entry]\nType=Application\n"));
  QMenu* options = nullptr;
  for (QAction* item : Window().menuBar()->actions()) {
    if (item->text() == "&Options") options = item->menu();
  }
  ASSERT_NE(options, nullptr);
  emit options->aboutToShow();
  EXPECT_TRUE(option.isChecked());
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(DesktopProgramTest, WithoutATrayTheWindowShowsAndSaysSoAndClosingItEnds) {
  Start(false);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(Window().StatusText().text().toStdString(), kNoTrayText);
  QTimer::singleShot(0, &Window(), &QWidget::close);
  EXPECT_EQ(program->Run(), 0);
}

TEST_F(DesktopProgramTest, APortAnotherProgramHoldsIsNamedInTheWindowAndTheTray) {
  UniqueFd holder = ListenOnLoopback(port);
  environment.emplace(ProgramEnvironment(home.Path().string(), port));
  Start();
  const std::string text = NotListeningText(std::to_string(port));
  EXPECT_EQ(Window().StatusText().text().toStdString(), text);
  EXPECT_EQ(program->Tray().Logic().Hint(), text);
  ASSERT_EQ(dialogs.MessageBoxes().size(), 1u) << "the reason, at the start";
}

// Each menu item opens its own modal dialog above the main window; the
// step inside closes it again.
TEST_F(DesktopProgramTest, TheMainMenuOpensTheEditorsAndTheSetupAboveTheWindow) {
  struct Case {
    const char* item;
    const char* title;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"File/Setup Wizard…", "Modification Needed", {}},
      {"Options/Blocked Subjects…", "Subjects", {}},
      {"Options/Blocked Senders (From: field)…", "Senders", {"pills@spam.example"}},
      {"Options/Blocked Recipients (To: field)…", "Recipients", {}},
  };
  Start();
  program->Tray().ShowMainWindow();
  for (const Case& c : cases) {
    QAction* item = MenuItem(c.item);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled()) << c.item;
    QString title;
    QWidget* parent = nullptr;
    std::vector<std::string> rows;
    WhenModal([&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr) << c.item;
      title = dialog->windowTitle();
      parent = dialog->parentWidget();
      if (auto* editor = qobject_cast<TBlockListEditorDialog*>(dialog)) {
        for (const TBlockListItem& row : editor->Editor().Items()) rows.push_back(row.Text);
      }
      dialog->close();
    });
    item->trigger();  // returns when the dialog has closed
    EXPECT_EQ(title.toStdString(), c.title) << c.item;
    EXPECT_EQ(parent, &Window()) << c.item;
    EXPECT_EQ(rows, c.rows) << c.item;
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DesktopProgramTest, HelpOpensTheShippedPageAndUndoSaysWhenThereIsNothingToUndo) {
  RecordingShell shell;
  ASSERT_TRUE(WriteFileAtomically(home.File("quillbright.html"), "<html></html>"));
  Start();
  MenuItem("Help/Quillbright Help")->trigger();
  EXPECT_EQ(shell.Opened(), std::vector<std::string>{home.File("quillbright.html")});
  MenuItem("File/Undo setup…")->trigger();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{NothingToUndoText()});
}

// Without "N" in options.txt and no account on localhost, the first
// "-shortcut" start opens the help page, the usage dialog and the setup
// dialog before the window's view exists; a start hidden in the tray, and
// every later start, opens none of them.
TEST_F(DesktopProgramTest, OnlyTheFirstInteractiveStartOpensHelpUsageAndSetup) {
  RecordingShell shell;
  ASSERT_TRUE(WriteFileAtomically(home.File("quillbright.html"), "<html></html>"));
  ASSERT_TRUE(WriteFileAtomically(home.File("options.txt"), "Y\r\n"));
  std::vector<std::string> opened;
  std::function<void()> closeNext = [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) return;
    opened.push_back(dialog->windowTitle().toStdString());
    WhenModal(closeNext);  // the next one, once this one's exec() has returned
    dialog->close();
  };
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> dialogs;
  } starts[] = {{{}, {}}, {{"-shortcut"}, {kUsageCaption, kForm2Caption}}, {{"-shortcut"}, {}}};
  for (const auto& start : starts) {
    opened.clear();
    WhenModal(closeNext);
    program.reset();
    Start(true, start.arguments);
    QCoreApplication::processEvents();  // a step still waiting finds no dialog
    EXPECT_EQ(opened, start.dialogs);
  }
  EXPECT_EQ(shell.Opened(), std::vector<std::string>{home.File("quillbright.html")});
}

}  // namespace
}  // namespace qb::test
