#include "app/BlockListEditor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/FileStore.h"
#include "screening/BlockEntries.h"
#include "support/RecordingDialogs.h"
#include "support/TempFolder.h"

namespace qb {
namespace {

using Texts = std::vector<std::string>;

Texts ItemTexts(const TBlockListEditor& editor) {
  Texts texts;
  for (const TBlockListItem& item : editor.Items()) texts.push_back(item.Text);
  return texts;
}

class BlockListEditorTest : public ::testing::Test {
 protected:
  std::string FileText(const TBlockListKind& kind) {
    return ReadWholeFile(home.File(kind.FileName)).value_or("<missing>");
  }
  void WriteList(const TBlockListKind& kind, const std::string& bytes) {
    ASSERT_TRUE(WriteFileAtomically(home.File(kind.FileName), bytes));
  }

  test::TempFolder home{"qb-editor"};
  test::RecordingDialogs dialogs;
};

TEST_F(BlockListEditorTest, EachMemberHasItsOwnTextsAndFile) {
  struct Case {
    const TBlockListKind& kind;
    const char* caption;
    const char* file;
  };
  for (const Case& c : {Case{kSubjectsEditor, "Subjects", "sublist.txt"},
                        Case{kSendersEditor, "Senders", "senlist.txt"},
                        Case{kRecipientsEditor, "Recipients", "reclist.txt"}}) {
    WriteList(c.kind, std::string(c.caption) + "\r\n");
    TBlockListEditor editor(c.kind, home.Path().string());
    editor.FormCreate();
    EXPECT_EQ(ItemTexts(editor), Texts{c.caption});
    dialogs.QueueInput("new");
    editor.btnNewClick();
    ASSERT_EQ(dialogs.InputBoxes().size(), 1u);
    EXPECT_EQ(dialogs.InputBoxes()[0].Title, c.kind.InputTitle);
    EXPECT_EQ(dialogs.InputBoxes()[0].Prompt, c.kind.InputPrompt);
    EXPECT_EQ(FileText(c.kind), std::string(c.caption) + "\r\nnew\r\n") << c.file;
    EXPECT_EQ(std::string(c.kind.Caption), c.caption);
    dialogs.Clear();
  }
  EXPECT_EQ(std::string(kSubjectsEditor.InputTitle), "Subject to be blocked:");
  EXPECT_EQ(std::string(kSubjectsEditor.InputPrompt), "Add new subject");
}

TEST_F(BlockListEditorTest, RemovingTickedItemsRemovesAdjacentOnesAndCanEmptyTheList) {
  WriteList(kSendersEditor, "a\r\nb\r\nc\r\nd\r\n");
  TfrmSenders editor(home.Path().string());
  editor.FormCreate();
  for (const TBlockListItem& item : editor.Items()) EXPECT_FALSE(item.Checked);
  editor.SetChecked(1, true);
  editor.SetChecked(2, true);
  editor.btnUnlistClick();
  EXPECT_EQ(ItemTexts(editor), (Texts{"a", "d"}));
  EXPECT_EQ(FileText(kSendersEditor), "a\r\nd\r\n");

  editor.SetChecked(0, true);
  editor.SetChecked(1, true);
  editor.btnUnlistClick();
  EXPECT_TRUE(editor.Items().empty());
  EXPECT_EQ(FileText(kSendersEditor), "");
  EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(BlockListEditorTest, AddingKeepsTheTextAsTypedAndCancelAddsAnEmptyEntry) {
  TfrmSubjects editor(home.Path().string());
  dialogs.QueueInput("  Win money ");
  dialogs.QueueInput("  Win money ");
  dialogs.QueueInput(std::nullopt);
  editor.FormCreate();  // no file yet: reported, the list starts empty
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"Cannot open file " + home.File("sublist.txt")});
  editor.btnNewClick();
  editor.btnNewClick();
  editor.btnNewClick();
  EXPECT_EQ(ItemTexts(editor), (Texts{"  Win money ", "  Win money ", ""}));
  EXPECT_EQ(FileText(kSubjectsEditor), "  Win money \r\n  Win money \r\n\r\n");
  EXPECT_EQ(dialogs.InputBoxes().at(0).Initial, "");
}

TEST_F(BlockListEditorTest, AnEntryWithALineBreakIsRefused) {
  WriteList(kRecipientsEditor, "kept\r\n");
  TfrmRecipients editor(home.Path().string());
  editor.FormCreate();
  for (const char* pasted : {"two\r\nlines", "two\nlines", "cr\r"}) {
    dialogs.QueueInput(pasted);
    editor.btnNewClick();
  }
  EXPECT_EQ(ItemTexts(editor), Texts{"kept"});
  EXPECT_EQ(FileText(kRecipientsEditor), "kept\r\n");
  EXPECT_EQ(dialogs.MessageTexts(), Texts(3, LineBreakRefusedText()));
}

// An entry too short to use would tick a great part of all mail: the lists
// that tick refuse it, the friends list (which never ticks) takes it.
TEST_F(BlockListEditorTest, AnEntryTooShortToUseIsRefusedByTheListsThatTick) {
  struct Case {
    const TBlockListKind& kind;
    const char* entry;
    bool kept;
  } cases[] = {{kSubjectsEditor, "ab", false},    {kSendersEditor, " a  ", false},
               {kRecipientsEditor, "   ", false}, {kSubjectsEditor, "abc", true},
               {kFriendsEditor, "@a", true},      {kFriendsEditor, "friend@example.org", true}};
  for (const Case& c : cases) {
    WriteList(c.kind, "");
    TBlockListEditor editor(c.kind, home.Path().string());
    editor.FormCreate();
    dialogs.QueueInput(c.entry);
    editor.btnNewClick();
    EXPECT_EQ(FileText(c.kind), c.kept ? std::string(c.entry) + "\r\n" : "") << c.entry;
  }
  EXPECT_EQ(dialogs.MessageTexts(),
            (Texts{RefusedEntryText("sublist.txt", "ab"), RefusedEntryText("senlist.txt", " a  "),
                   RefusedEntryText("reclist.txt", "   ")}));
}

TEST_F(BlockListEditorTest, AnUnwritableFileIsReportedAndTheItemsKeepTheChange) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
  WriteList(kSubjectsEditor, "old\r\n");
  TfrmSubjects editor(home.Path().string());
  editor.FormCreate();
  ASSERT_EQ(chmod(home.Path().c_str(), 0555), 0);
  dialogs.QueueInput("new");
  editor.btnNewClick();
  chmod(home.Path().c_str(), 0755);
  EXPECT_EQ(ItemTexts(editor), (Texts{"old", "new"}));
  EXPECT_EQ(FileText(kSubjectsEditor), "old\r\n");
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"Cannot create file " + home.File("sublist.txt")});
}

TEST_F(BlockListEditorTest, AListFileThatIsAFolderCannotBeOpenedNorCreated) {
  // Works as root too: neither reading nor renaming onto a folder succeeds.
  home.MakeFolder("reclist.txt");
  TfrmRecipients editor(home.Path().string());
  editor.FormCreate();
  dialogs.QueueInput("xyz");
  editor.btnNewClick();
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Cannot open file " + home.File("reclist.txt"),
                                           "Cannot create file " + home.File("reclist.txt")}));
  EXPECT_EQ(ItemTexts(editor), Texts{"xyz"});
}

TEST_F(BlockListEditorTest, OKClosesWithResultOneAndChangesStayOnDisk) {
  TfrmSenders editor(home.Path().string());
  dialogs.QueueInput("spam@example.org");
  editor.FormCreate();
  editor.btnNewClick();
  editor.btnOKClick();
  EXPECT_EQ(editor.ModalResult, 1);
  TfrmSenders reopened(home.Path().string());
  reopened.FormCreate();
  EXPECT_EQ(ItemTexts(reopened), Texts{"spam@example.org"});
}

}  // namespace
}  // namespace qb
