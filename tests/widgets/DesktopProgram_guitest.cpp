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

using namespace std::chrono_literals;

class NoResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {}; }
};

std::string Message(const std::string& headers, int bodyLines) {
  std::string text = headers + "\r\n\r\n";
  for (int i = 0; i < bodyLines; ++i) text += "a line of the body\r\n";
  return text;
}

// A mail client's session up to the LIST reply, which waits for "Remove
// Checked"; then QUIT.
class ListingClient {
 public:
  ListingClient(std::uint16_t port, std::string account)
      : thread_([this, port, account = std::move(account)] {
          PlainPop3Client client(port);
          if (client.ReadLine() && client.Command("USER " + account).starts_with("+OK") &&
              client.Command("PASS secret").starts_with("+OK") && client.SendLine("LIST")) {
            listing = client.ReadMultiLine(30s).value_or("");
            client.Command("QUIT");
          }
        }) {}
  bool Done() const { return thread_.Done(); }
  std::string listing;  // read only once done

 private:
  ClientThread thread_;
};

class DesktopProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiLoopBridge();
    for (const char* name : {"vlist.txt", "sublist.txt", "reclist.txt"}) {
      ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
    }
    ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "pills@spam.example\r\n"));
    ASSERT_TRUE(WriteFileAtomically(home.File("options.txt"), "N\r\n"));  // no setup prompt
    port = PickFreeLoopbackPort();
    environment.emplace(ProgramEnvironment(home.Path().string(), port));
    server.AddMessage(Message("From: friend@example.org\r\nSubject: Zebra notes", 5));
    server.AddMessage(Message("From: Pusher <pills@spam.example>\r\nSubject: cheap & more", 1));
    server.AddMessage(Message("From: Anna@example.org\r\nSubject: big photos", 60));
  }
  void TearDown() override {
    program.reset();
    MessageLoop::Instance().ProcessMessages();
  }

  TForm1& Start(bool trayAvailable = true, const std::vector<std::string>& arguments = {}) {
    program =
        std::make_unique<TDesktopProgram>(resolver, [trayAvailable] { return trayAvailable; });
    return program->Start(arguments);
  }
  // The main menu's item, "Options/Blocked Senders (From: field)" for one of
  // a submenu.
  QAction* MenuItem(const QString& path) {
    QList<QAction*> items = Window().menuBar()->actions();
    QAction* found = nullptr;
    for (const QString& caption : path.split('/')) {
      found = nullptr;
      for (QAction* item : items) {
        if (item->text() == caption) found = item;
      }
      if (!found) break;
      if (found->menu()) items = found->menu()->actions();
    }
    EXPECT_NE(found, nullptr) << path.toStdString();
    return found;
  }
  std::string Account() const { return "alice#127.0.0.1:" + std::to_string(server.Port()); }
  TMainWindow& Window() { return program->Window(); }
  bool ScanShown() {
    return PumpQtUntil([&] { return Window().Button1().isEnabled(); });
  }
  QVariant Cell(int row, int column, int role = Qt::DisplayRole) {
    QAbstractItemModel& model = Window().Model();
    return model.data(model.index(row, column), role);
  }
  std::vector<std::string> FromColumn() {
    std::vector<std::string> texts;
    for (int row = 0; row < Window().Model().rowCount(); ++row) {
      texts.push_back(Cell(row, 0).toString().toStdString());
    }
    return texts;
  }
  void ClickHeader(int column) {
    QHeaderView* header = Window().ReviewListView1().horizontalHeader();
    int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }

  TempFolder home{"qb-gui-home"};
  std::uint16_t port = 0;
  std::optional<ScopedProgramEnvironment> environment;
  NoResolver resolver;
  RecordingDialogs dialogs;
  ScriptedPop3Server server;
  std::unique_ptr<TDesktopProgram> program;
};

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
  EXPECT_TRUE(Window().ReviewListView1().isColumnHidden(TReviewListModel::kUidColumn));

  ClickHeader(0);  // From, ignoring case
  EXPECT_EQ(FromColumn(), (std::vector<std::string>{"Anna@example.org", "friend@example.org",
                                                    "pills@spam.example"}));
  ClickHeader(1);  // Subject
  EXPECT_EQ(FromColumn(), (std::vector<std::string>{"Anna@example.org", "pills@spam.example",
                                                    "friend@example.org"}));
  EXPECT_EQ(program->Form().ReviewListView1.SortColumn, 1);

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
  EXPECT_EQ(overTicked.actions()[1]->text(), "Block this sender (From: field)");
  // The sender is listed already; the row is ticked.
  EXPECT_EQ(enabled(overTicked), (std::vector<bool>{true, false, true, true, true, true}));
  EXPECT_EQ(list.selectionModel()->selectedRows().value(0).row(), 2);
  EXPECT_EQ(overTicked.actions()[5]->text(), "Always allow this sender");
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
  QAction* exit = program->Tray().Menu().actions().value(2);
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit->text(), "Exit");
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
  std::string exec = "\nExec=" + std::filesystem::read_symlink("/proc/self/exe").string() + "\n";
  EXPECT_NE(ReadWholeFile(entry).value_or("").find(exec), std::string::npos);
  option.trigger();
  EXPECT_FALSE(option.isChecked());
  EXPECT_FALSE(std::filesystem::exists(entry));

  // An entry made or switched off elsewhere shows when the menu opens.
  ASSERT_TRUE(WriteFileAtomically(entry, "[Desktop Entry]\nType=Application\n"));
  QMenu* options = nullptr;
  for (QAction* item : Window().menuBar()->actions()) {
    if (item->text() == "Options") options = item->menu();
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
      {"Setup Wizard", "Modification Needed", {}},
      {"Options/Blocked Subjects", "Subjects", {}},
      {"Options/Blocked Senders (From: field)", "Senders", {"pills@spam.example"}},
      {"Options/Blocked Recipients (To: field)", "Recipients", {}},
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
  MenuItem("Help")->trigger();
  EXPECT_EQ(shell.Opened(), std::vector<std::string>{home.File("quillbright.html")});
  MenuItem("Undo setup")->trigger();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{NothingToUndoText()});
}

// Without "N" in options.txt and no account on localhost, the set-up opens
// the setup dialog before the window's view exists; a "-shortcut" start
// first opens the help page and the usage dialog.
TEST_F(DesktopProgramTest, TheFirstRunOpensTheSetupAndAtAShortcutStartTheHelpAndUsageFirst) {
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
  WhenModal(closeNext);
  Start(true, {"-shortcut"});
  EXPECT_EQ(shell.Opened(), std::vector<std::string>{home.File("quillbright.html")});
  EXPECT_EQ(opened, (std::vector<std::string>{kUsageCaption, kForm2Caption}));
}

}  // namespace
}  // namespace qb::test
