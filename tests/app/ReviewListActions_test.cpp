#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "RecordingWindow.h"
#include "app/Unit1.h"
#include "platform/FileStore.h"
#include "support/RecordingDialogs.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

class NoNames : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {}; }
};

MessageRow Row(std::string from, std::string subject, std::string size, std::string to = {}) {
  MessageRow row;
  row.From = std::move(from);
  row.Subject = std::move(subject);
  row.Size = std::move(size);
  row.To = std::move(to);
  row.CategoryIcon = MessageCategory::mcUseful;
  return row;
}

class ReviewListActions : public ::testing::Test {
 protected:
  void SetUp() override { form.State.ProgramFolder = folder.Path().string() + "/"; }

  // Each row is a message of its own on the server, as a scan makes them.
  void AddRows(std::vector<MessageRow> rows) {
    for (MessageRow& row : rows) {
      row.Number = ++added_;
      row.Uid = "uid-" + std::to_string(row.Number);
      form.ReviewListView1.Add(std::move(row));
    }
  }
  std::vector<std::string> Column(std::string MessageRow::*field) const {
    std::vector<std::string> texts;
    for (const MessageRow& row : form.ReviewListView1.Rows()) texts.push_back(row.*field);
    return texts;
  }
  std::vector<bool> Ticks() const {
    std::vector<bool> ticks;
    for (const MessageRow& row : form.ReviewListView1.Rows()) ticks.push_back(row.Checked);
    return ticks;
  }
  std::vector<MessageCategory> Icons() const {
    std::vector<MessageCategory> icons;
    for (const MessageRow& row : form.ReviewListView1.Rows()) icons.push_back(row.CategoryIcon);
    return icons;
  }

  TempFolder folder;
  RecordingPopup popup;
  RecordingTray tray;
  NoNames resolver;
  RecordingDialogs dialogs;
  TForm1 form{popup, tray, resolver};

 private:
  int added_ = 0;
};

using enum MessageCategory;

TEST_F(ReviewListActions, ASecondClickOnAColumnReversesItsOrderAndAThirdRestoresIt) {
  AddRows({Row("a", "s", "900"), Row("b", "s", "12000"), Row("c", "s", "-"), Row("d", "s", "45")});
  const std::vector<std::string> largestFirst = {"-", "12000", "900", "45"};
  const std::vector<std::string> smallestFirst = {"45", "900", "12000", "-"};
  for (const auto& expected : {largestFirst, smallestFirst, largestFirst}) {
    form.ReviewListView1ColumnClick(ReviewColumn::Size);
    EXPECT_EQ(Column(&MessageRow::Size), expected);
  }
  EXPECT_LT(form.ReviewListView1Compare(Row("a", "", "900"), Row("b", "", "45")), 0);
  form.ReviewListView1ColumnClick(ReviewColumn::Size);
  EXPECT_TRUE(form.ReviewListView1.SortDescending);
  EXPECT_GT(form.ReviewListView1Compare(Row("a", "", "900"), Row("b", "", "45")), 0);
  form.ReviewListView1ColumnClick(ReviewColumn::From);
  EXPECT_FALSE(form.ReviewListView1.SortDescending) << "another column starts ascending";
  EXPECT_EQ(Column(&MessageRow::From), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(ReviewListActions, ClickingFromSortsAToZIgnoringCaseAndCompareAgrees) {
  AddRows({Row("carol@x", "", "1"), Row("ALICE@x", "", "1"), Row("bob@x", "", "1"),
           Row("Bob@x", "", "1")});
  form.ReviewListView1.SortColumn = ReviewColumn::Size;  // as a scan leaves it
  form.ReviewListView1ColumnClick(ReviewColumn::From);
  EXPECT_EQ(Column(&MessageRow::From),
            (std::vector<std::string>{"ALICE@x", "bob@x", "Bob@x", "carol@x"}));
  EXPECT_LT(form.ReviewListView1Compare(Row("Alice", "", "1"), Row("bob", "", "1")), 0);
  EXPECT_GT(form.ReviewListView1Compare(Row("Carol", "", "1"), Row("bob", "", "1")), 0);
  EXPECT_EQ(form.ReviewListView1Compare(Row("BOB", "", "1"), Row("bob", "", "1")), 0);

  form.ReviewListView1ColumnClick(ReviewColumn::Subject);
  EXPECT_EQ(form.ReviewListView1.SortColumn, ReviewColumn::Subject);
}

TEST_F(ReviewListActions, TheMenuOverNoRowDisablesEveryItemAndItsActionsDoNothing) {
  AddRows({Row("a@x", "hello", "10")});
  form.ReviewListView1[0].Checked = true;
  form.PopupMenu2Popup({5, 6}, 0);
  form.PopupMenu2Popup({300, 400}, std::nullopt);
  EXPECT_EQ(form.PopupPoint.X, 300);
  EXPECT_EQ(form.PopupPoint.Y, 400);
  EXPECT_FALSE(form.PopupMenu2.Block1Enabled);
  EXPECT_FALSE(form.PopupMenu2.Block2Enabled);
  EXPECT_FALSE(form.PopupMenu2.BlocktherecipientTofield1Enabled);
  EXPECT_FALSE(form.PopupMenu2.Unblockthissubject1Enabled);
  EXPECT_FALSE(form.PopupMenu2.Unblockthissender1Enabled);

  form.Block1Click();
  form.Block2Click();
  form.BlocktherecipientTofield1Click();
  form.Unblockthissubject1Click();
  EXPECT_EQ(Ticks(), (std::vector<bool>{true}));
  EXPECT_EQ(Icons(), (std::vector<MessageCategory>{mcUseful}));
  EXPECT_FALSE(std::filesystem::exists(folder.File("sublist.txt")));
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(ReviewListActions, TheMenuEnablesTheBlocksOfTextsNotListedYetAndUnselectOnlyOnATick) {
  AddRows({Row("a@x", "Hello", "10", "me@x"), Row("b@x", "other", "10", "you@x")});
  form.State.SubjectList = {"HELLO"};  // whole entries, ignoring case
  form.State.SenderList = {"a@"};      // a prefix is not the whole entry
  form.State.RecipientList = {"me@x"};
  form.PopupMenu2Popup({1, 1}, 0);
  EXPECT_FALSE(form.PopupMenu2.Block1Enabled);
  EXPECT_TRUE(form.PopupMenu2.Block2Enabled);
  EXPECT_FALSE(form.PopupMenu2.BlocktherecipientTofield1Enabled);
  EXPECT_FALSE(form.PopupMenu2.Unblockthissubject1Enabled);
  EXPECT_FALSE(form.PopupMenu2.Unblockthissender1Enabled);

  form.ReviewListView1[1].Checked = true;
  form.PopupMenu2Popup({1, 20}, 1);
  EXPECT_TRUE(form.PopupMenu2.Block1Enabled);
  EXPECT_TRUE(form.PopupMenu2.Unblockthissubject1Enabled);
  EXPECT_TRUE(form.PopupMenu2.Unblockthissender1Enabled);
}

TEST_F(ReviewListActions, BlockingASubjectListedInAnotherCaseTicksOnlyTheRowsWithExactlyThatText) {
  ASSERT_TRUE(WriteFileAtomically(folder.File("sublist.txt"), "Cheap Pills\r\n"));
  AddRows({Row("a@x", "cheap pills", "10"), Row("b@x", "CHEAP PILLS", "10"),
           Row("c@x", "cheap pills", "10"), Row("d@x", "news", "10")});
  form.PopupMenu2Popup({1, 1}, 0);
  form.Block1Click();
  EXPECT_EQ(ReadWholeFile(folder.File("sublist.txt")), "Cheap Pills\r\n") << "not added again";
  EXPECT_EQ(form.State.SubjectList, (TextLines{"Cheap Pills"}));
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(Icons(),
            (std::vector<MessageCategory>{mcBlockedSubject, mcUseful, mcBlockedSubject, mcUseful}));
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(ReviewListActions, BlockingASenderReloadsTheFileAddsTheSenderOnceAndRewritesItWhole) {
  // An entry added with the editor since start-up, and a last line without a line end.
  ASSERT_TRUE(WriteFileAtomically(folder.File("senlist.txt"), "old@x\nnew@x"));
  form.State.SenderList = {"old@x"};
  AddRows({Row("Spam@X", "s", "10"), Row("spam@x", "t", "10"), Row("Spam@X", "u", "10")});
  form.PopupMenu2Popup({1, 1}, 2);
  form.Block2Click();
  form.Block2Click();
  EXPECT_EQ(ReadWholeFile(folder.File("senlist.txt")), "old@x\r\nnew@x\r\nSpam@X\r\n");
  EXPECT_EQ(form.State.SenderList, (TextLines{"old@x", "new@x", "Spam@X"}));
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(Icons(), (std::vector<MessageCategory>{mcBlockedSender, mcUseful, mcBlockedSender}));
}

TEST_F(ReviewListActions, BlockingARecipientCreatesAListFileThatDoesNotExistYet) {
  AddRows({Row("a@x", "s", "10", "list@x")});
  form.PopupMenu2Popup({1, 1}, 0);
  form.BlocktherecipientTofield1Click();
  EXPECT_EQ(ReadWholeFile(folder.File("reclist.txt")), "list@x\r\n");
  EXPECT_EQ(Icons(), (std::vector<MessageCategory>{mcBlockedRecipient}));
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(ReviewListActions, ABlockWhoseFileCannotBeWrittenLeavesRowsAndListAsTheyWere) {
  form.State.ProgramFolder = folder.File("no-such-folder") + "/";
  form.State.RecipientList = {"kept@x"};
  AddRows({Row("a@x", "s", "10", "list@x")});
  form.PopupMenu2Popup({1, 1}, 0);
  form.BlocktherecipientTofield1Click();
  ASSERT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"Cannot create file " + folder.File("no-such-folder") +
                                      "/reclist.txt"}));
  EXPECT_EQ(dialogs.MessageBoxes()[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(Ticks(), (std::vector<bool>{false}));
  EXPECT_EQ(Icons(), (std::vector<MessageCategory>{mcUseful}));
  EXPECT_EQ(form.State.RecipientList, (TextLines{})) << "the list as its (missing) file has it";
}

TEST_F(ReviewListActions, ABlockWhoseFileCannotBeReadStopsBeforeChangingAnything) {
  std::filesystem::create_directory(folder.File("sublist.txt"));
  form.State.SubjectList = {"kept"};
  AddRows({Row("a@x", "spam offer", "10")});
  form.PopupMenu2Popup({1, 1}, 0);
  form.Block1Click();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"Cannot open file " + folder.File("sublist.txt")}));
  EXPECT_EQ(Ticks(), (std::vector<bool>{false}));
  EXPECT_EQ(form.State.SubjectList, (TextLines{"kept"}));
}

TEST_F(ReviewListActions, UnselectTakesTheTickOffThatRowOnlyAndMarksItUseful) {
  AddRows({Row("a@x", "same", "10"), Row("a@x", "same", "10")});
  for (MessageRow& row : form.ReviewListView1.Rows()) {
    row.Checked = true;
    row.CategoryIcon = mcSpam;
  }
  form.PopupMenu2Popup({1, 1}, 1);
  form.Unblockthissender1Click();
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, false}));
  EXPECT_EQ(Icons(), (std::vector<MessageCategory>{mcSpam, mcUseful}));
  form.PopupMenu2Popup({1, 1}, 0);
  form.Unblockthissubject1Click();
  EXPECT_EQ(Ticks(), (std::vector<bool>{false, false}));
  EXPECT_FALSE(std::filesystem::exists(folder.File("sublist.txt")));
  EXPECT_FALSE(std::filesystem::exists(folder.File("senlist.txt")));
}

// The menu acts on the message it was opened over, wherever a sort has
// moved it; gone, or replaced by another account's rows, nothing changes.
TEST_F(ReviewListActions, MenuActionsFollowTheirMessageAndRefuseWhenItIsGone) {
  form.State.AccountText = "ann#pop.example\r\n";
  AddRows({Row("a@x", "first", "10"), Row("b@x", "second", "30"), Row("c@x", "third", "20")});
  form.PopupMenu2Popup({1, 1}, 0);
  form.ReviewListView1ColumnClick(ReviewColumn::Size);  // the message moves to the last row
  form.Block1Click();
  EXPECT_EQ(ReadWholeFile(folder.File("sublist.txt")), "first\r\n");
  EXPECT_EQ(Ticks(), (std::vector<bool>{false, false, true}));

  struct Case {
    const char* what;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"a new scan",
       [&] {
         form.ReviewListView1.Clear();
         AddRows({Row("d@x", "fourth", "10")});
         form.ReviewListView1.SetRowState(0, true, mcSpam);
       }},
      {"another account", [&] { form.State.AccountText = "bob#pop.example\r\n"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form.StatusBar1Text.clear();
    form.PopupMenu2Popup({1, 1}, 0);
    c.change();
    std::vector<bool> before = Ticks();
    form.Unblockthissubject1Click();
    form.AllowSender1Click();
    EXPECT_EQ(Ticks(), before);
    EXPECT_EQ(form.StatusBar1Text, kMessageGoneText);
  }
  EXPECT_FALSE(std::filesystem::exists(folder.File("friends.txt")));
}

// A view's model follows the rows by these notices alone, so each change
// must name exactly the rows it touched.
TEST_F(ReviewListActions, RowEventsNameExactlyTheRowsEachChangeTouched) {
  std::vector<std::string> events;
  form.OnRowsReset = [&](TForm1*) { events.push_back("reset"); };
  form.OnRowsInserted = [&](TForm1*, std::size_t first, std::size_t count) {
    events.push_back("insert " + std::to_string(first) + "+" + std::to_string(count));
  };
  form.OnRowChanged = [&](TForm1*, std::size_t index) {
    events.push_back("change " + std::to_string(index));
  };
  AddRows({Row("a@x", "same", "10"), Row("b@x", "other", "30"), Row("c@x", "same", "20")});
  form.PopupMenu2Popup({1, 1}, 0);
  form.Block1Click();
  form.SetRowChecked(1, true);
  form.SetRowChecked(7, true);  // no such row: nothing happens
  form.ReviewListView1ColumnClick(ReviewColumn::Size);
  EXPECT_EQ(events, (std::vector<std::string>{"insert 0+1", "insert 1+1", "insert 2+1", "change 0",
                                              "change 2", "change 1", "reset"}));
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(Column(&MessageRow::Size), (std::vector<std::string>{"30", "20", "10"}));
}

TEST_F(ReviewListActions, ClickingThePopupBringsTheWindowUp) {
  form.PopupNotifier1Click();
  EXPECT_EQ(tray.calls, (std::vector<std::string>{"show"}));
}

TEST_F(ReviewListActions, ATextTooShortForABlockListIsRefusedAndTicksNothing) {
  for (const char* subject : {"ab", "  x  ", "   "}) {
    SCOPED_TRACE(subject);
    form.ReviewListView1.Clear();
    dialogs.Clear();
    AddRows({Row("a@x", subject, "10")});
    form.PopupMenu2Popup({1, 1}, 0);
    form.Block1Click();
    EXPECT_FALSE(std::filesystem::exists(folder.File("sublist.txt")));
    EXPECT_EQ(Ticks(), (std::vector<bool>{false}));
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_NE(dialogs.MessageTexts()[0].find("sublist.txt"), std::string::npos);
  }
}

TEST_F(ReviewListActions, BlockingKeepsTheFilesShortEntriesButNeverUsesThemOrTicksAFriend) {
  ASSERT_TRUE(WriteFileAtomically(folder.File("senlist.txt"), "a\r\n"));
  form.State.FriendList = {"@friends.example"};
  AddRows({Row("offers@shop.example", "x", "10"), Row("offers@shop.example", "y", "10")});
  form.ReviewListView1[1].From = "pal@friends.example";
  form.PopupMenu2Popup({1, 1}, 0);
  form.Block2Click();
  EXPECT_EQ(ReadWholeFile(folder.File("senlist.txt")), "a\r\noffers@shop.example\r\n");
  EXPECT_EQ(form.State.SenderList, (TextLines{"offers@shop.example"}));
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, false}));
  EXPECT_EQ(form.ReviewListView1[0].Rule, "offers@shop.example");
}

TEST_F(ReviewListActions, AlwaysAllowingASenderUnticksTheirRowsAndWritesTheFriendsList) {
  AddRows({Row("bob@x.example", "Buy", "10"), Row("BOB@x.example", "Sell", "10"),
           Row("eve@x.example", "Buy", "10")});
  for (std::size_t i = 0; i < 3; ++i)
    form.ReviewListView1.SetRowState(i, true, MessageCategory::mcBlockedSubject);
  form.PopupMenu2Popup({1, 1}, 0);
  EXPECT_TRUE(form.PopupMenu2.AllowSender1Enabled);
  form.AllowSender1Click();
  EXPECT_EQ(ReadWholeFile(folder.File("friends.txt")), "bob@x.example\r\n");
  EXPECT_EQ(Ticks(), (std::vector<bool>{false, false, true})) << "addresses ignore case";
  EXPECT_EQ(Icons(), (std::vector<MessageCategory>{mcUseful, mcUseful, mcBlockedSubject}));
  form.PopupMenu2Popup({1, 1}, 1);
  EXPECT_FALSE(form.PopupMenu2.AllowSender1Enabled) << "already a friend";
}

}  // namespace
}  // namespace qb::test
