// The main window during and after a review: keyboard ticking, reversed
// sorts that keep the selection on its message, the review's figures and
// status texts, the menus' mnemonics, a layout that fits and is
// remembered, and a model that announces each change before it happens.
#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <QSignalSpy>

#include "DesktopProgramFixture.h"
#include "widgets/DisplayText.h"

namespace qb::test {
namespace {

class ReviewWindowTest : public DesktopProgramTest {
 protected:
  QHeaderView& Header() { return *Window().ReviewListView1().horizontalHeader(); }
  int SelectedRow() {
    QModelIndexList rows = Window().ReviewListView1().selectionModel()->selectedRows();
    return rows.size() == 1 ? rows[0].row() : -1;
  }
  void Finish(ListingClient& client) {
    QTest::mouseClick(&Window().Button1(), Qt::LeftButton);
    ASSERT_TRUE(PumpQtUntil([&] { return client.Done(); }));
  }
};

TEST_F(ReviewWindowTest, SpaceTicksFromAnyColumnAndReversedSortsKeepTheSelectedMessage) {
  Start();
  Window().show();
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  TReviewListView& list = Window().ReviewListView1();
  const int subject = TReviewListModel::Section(ReviewColumn::Subject);
  list.setCurrentIndex(Window().Model().index(2, subject));
  for (Qt::CheckState expected : {Qt::Unchecked, Qt::Checked}) {
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_EQ(Cell(2, 0, Qt::CheckStateRole).value<Qt::CheckState>(), expected);
  }

  list.selectRow(0);  // Anna's, the largest
  const int size = TReviewListModel::Section(ReviewColumn::Size);
  struct Step {
    std::vector<std::string> from;
    int selected;
    Qt::SortOrder arrow;
  };
  const Step steps[] = {
      // Qt::DescendingOrder is Qt's arrow up: smallest first.
      {{"pills@spam.example", "friend@example.org", "Anna@example.org"}, 2, Qt::DescendingOrder},
      {{"Anna@example.org", "friend@example.org", "pills@spam.example"}, 0, Qt::AscendingOrder},
  };
  EXPECT_EQ(Header().sortIndicatorSection(), size);
  for (const Step& step : steps) {
    ClickHeader(size);
    EXPECT_EQ(FromColumn(), step.from);
    EXPECT_EQ(SelectedRow(), step.selected) << "the selection stays on Anna's message";
    EXPECT_EQ(Header().sortIndicatorOrder(), step.arrow);
  }
  Finish(client);
}

TEST_F(ReviewWindowTest, TheFiguresCountTicksAndSecondsAndTheStatusSaysWhatWasRemoved) {
  Start();
  Window().show();
  const std::string idle = "Listening for mail clients on port " + std::to_string(port) + ".";
  EXPECT_EQ(Window().StatusText().text().toStdString(), idle);
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  QRegularExpression figures("^1 of 3 messages ticked; the mail client waits (\\d+) more seconds$");
  QRegularExpressionMatch match = figures.match(Window().ReviewFigures().text());
  ASSERT_TRUE(match.hasMatch()) << Window().ReviewFigures().text().toStdString();
  EXPECT_GE(match.captured(1).toInt(), 1);
  EXPECT_LE(match.captured(1).toInt(), 45);
  ASSERT_TRUE(
      Window().Model().setData(Window().Model().index(1, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(Window().ReviewFigures().text().startsWith("2 of 3 messages ticked"));

  Finish(client);
  const std::string removed =
      "Removed 2 messages from " + Account() + "; copies are kept in \"Removed mail\".";
  ASSERT_TRUE(PumpQtUntil([&] { return Window().StatusText().text().toStdString() == removed; }))
      << Window().StatusText().text().toStdString();
  EXPECT_EQ(program->Tray().Icon().toolTip().toStdString(), "Quillbright\n" + removed);
  EXPECT_FALSE(Window().ReviewFigures().isVisible());
}

// The tester fails the run at the first notice that does not match the
// model's rows: an insertion announced after the rows were there, a reset
// that was not one, a sort that lost a row.
TEST_F(ReviewWindowTest, TheModelAnnouncesEveryChangeOfAScanBeforeItHappens) {
  Start();
  Window().show();
  QAbstractItemModelTester tester(&Window().Model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  QSignalSpy inserted(&Window().Model(), &QAbstractItemModel::rowsInserted);
  QSignalSpy sorted(&Window().Model(), &QAbstractItemModel::layoutChanged);
  QSignalSpy reset(&Window().Model(), &QAbstractItemModel::modelReset);
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  ClickHeader(TReviewListModel::Section(ReviewColumn::From));
  ClickHeader(TReviewListModel::Section(ReviewColumn::From));
  // A scan's rows reach the window at once, when its review is shown.
  EXPECT_GE(inserted.count() + reset.count(), 1);
  EXPECT_EQ(Window().Model().rowCount(), 3);
  EXPECT_GE(sorted.count(), 2);
  Finish(client);
}

TEST_F(ReviewWindowTest, EveryMenuItemHasAMnemonicAndTheUsualShortcutsAndPlaces) {
  Start();
  std::vector<std::string> missing;
  for (QAction* menu : Window().menuBar()->actions()) {
    if (!menu->text().contains('&')) missing.push_back(menu->text().toStdString());
    for (QAction* item : menu->menu()->actions()) {
      if (!item->isSeparator() && !item->text().contains('&')) {
        missing.push_back(item->text().toStdString());
      }
    }
  }
  EXPECT_EQ(missing, std::vector<std::string>{});
  const struct {
    const char* path;
    QKeySequence shortcut;
  } shortcuts[] = {{"File/Quit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
                   {"Help/Quillbright Help", QKeySequence(Qt::Key_F1)}};
  for (const auto& c : shortcuts) {
    ASSERT_NE(MenuItem(c.path), nullptr);
    EXPECT_EQ(MenuItem(c.path)->shortcut(), c.shortcut) << c.path;
  }
  for (const char* path : {"File/Removed mail…", "Options/Settings…", "Help/About Quillbright…",
                           "Options/Friends (always allowed senders)…"}) {
    EXPECT_NE(MenuItem(path), nullptr);
  }

  QMenu& tray = program->Tray().Menu();
  QAction* hide = tray.actions().value(1);
  ASSERT_NE(hide, nullptr);
  for (bool shown : {false, true}) {
    Window().setVisible(shown);
    emit tray.aboutToShow();
    EXPECT_EQ(hide->isEnabled(), shown);
  }
  EXPECT_EQ(tray.actions().value(2)->text(), "Removed &mail…");
  EXPECT_TRUE(program->Tray().Icon().toolTip().startsWith("Quillbright"));
}

TEST_F(ReviewWindowTest, TheDefaultLayoutShowsTheMainColumnsAndTheWindowRemembersItself) {
  Start();
  Window().show();
  ListingClient client(port, Account());
  ASSERT_TRUE(ScanShown());
  TReviewListView& list = Window().ReviewListView1();
  for (ReviewColumn column : {ReviewColumn::From, ReviewColumn::Subject, ReviewColumn::Size,
                              ReviewColumn::Date, ReviewColumn::File}) {
    int section = TReviewListModel::Section(column);
    EXPECT_LE(Header().sectionViewportPosition(section) + Header().sectionSize(section),
              list.viewport()->width())
        << "column " << section << " is cut off at " << Window().width() << " pixels";
  }
  EXPECT_GT(Header().sectionSize(TReviewListModel::Section(ReviewColumn::Subject)),
            Header().sectionSize(TReviewListModel::Section(ReviewColumn::Size)));
  EXPECT_EQ(Cell(0, TReviewListModel::Section(ReviewColumn::Subject), Qt::ToolTipRole).toString(),
            "big photos");

  Window().resize(700, 480);
  list.setColumnWidth(0, 150);
  ClickHeader(TReviewListModel::Section(ReviewColumn::Subject));
  Finish(client);
  program.reset();
  // A port of its own: the closed connections may still hold the first one.
  port = PickFreeLoopbackPort();
  environment.reset();
  environment.emplace(ProgramEnvironment(home.Path().string(), port));
  Start();
  EXPECT_EQ(Window().size(), QSize(700, 480));
  EXPECT_EQ(Window().ReviewListView1().columnWidth(0), 150);
  server.AddMessage(Message("From: new@example.org\r\nSubject: Another one", 2));
  ListingClient again(port, Account());
  ASSERT_TRUE(ScanShown());
  EXPECT_EQ(program->Form().ReviewListView1.SortColumn, ReviewColumn::Subject)
      << "a new review comes in the sort chosen last";
  Finish(again);
}

TEST(ReadableSizeTest, SizesReadAsPeopleReadThemWithTheExactFigureApart) {
  const struct {
    const char* octets;
    const char* shown;
    const char* exact;
  } cases[] = {{"0", "0 bytes", "0 bytes"},
               {"999", "999 bytes", "999 bytes"},
               {"2412", "2.4 KB", "2,412 bytes"},
               {"2412071", "2.4 MB", "2,412,071 bytes"},
               {"245000000", "245 MB", "245,000,000 bytes"},
               {"1100000000", "1.1 GB", "1,100,000,000 bytes"},
               {"-", "-", "-"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ReadableSize(c.octets).toStdString(), c.shown) << c.octets;
    EXPECT_EQ(ExactSize(c.octets).toStdString(), c.exact) << c.octets;
  }
}

}  // namespace
}  // namespace qb::test
