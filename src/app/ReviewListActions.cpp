// The review list's own actions on the main window: sorting, the context
// menu with its block and unselect actions, and the popup's click.
#include "app/ListFiles.h"
#include "app/ProgramFolder.h"
#include "app/Unit1.h"
#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/BlockEntries.h"
#include "screening/Classification.h"
#include "screening/ListFile.h"

namespace qb {

void TForm1::ReviewListView1ColumnClick(ReviewColumn column) {
  ReviewList& list = ReviewListView1;
  list.SortDescending = list.SortColumn == column && !list.SortDescending;
  list.SortColumn = column;
  list.Sort();
  Changed();
}

int TForm1::ReviewListView1Compare(const MessageRow& a, const MessageRow& b) const {
  const ReviewList& list = ReviewListView1;
  const MessageRow& first = list.SortDescending ? b : a;
  const MessageRow& second = list.SortDescending ? a : b;
  if (ReviewRowLess(first, second, list.SortColumn)) return -1;
  return ReviewRowLess(second, first, list.SortColumn) ? 1 : 0;
}

void TForm1::PopupMenu2Popup(TPoint mousePosition, std::optional<std::size_t> rowUnderPoint) {
  PopupPoint = mousePosition;
  PopupMessage.reset();
  if (rowUnderPoint && *rowUnderPoint < ReviewListView1.Count()) {
    const MessageRow& row = ReviewListView1[*rowUnderPoint];
    PopupMessage = TMenuMessage{State.AccountText, row.Number, row.Uid, *rowUnderPoint};
  }
  PopupMenu2 = TReviewListMenu{};
  if (const MessageRow* row = RowUnderPopupPoint()) {
    PopupMenu2.Block1Enabled = !ListContains(State.SubjectList, row->Subject);
    PopupMenu2.Block2Enabled = !ListContains(State.SenderList, row->From);
    PopupMenu2.BlocktherecipientTofield1Enabled = !ListContains(State.RecipientList, row->To);
    PopupMenu2.Unblockthissubject1Enabled = row->Checked;
    PopupMenu2.Unblockthissender1Enabled = row->Checked;
    PopupMenu2.AllowSender1Enabled =
        !TrimBlanks(row->From).empty() && !IsFriend(State.FriendList, row->From);
  }
  Changed();
}

// The row that holds the menu's message now: the row it was in when still
// there, else where a sort has moved it. Gone (a new scan, another
// account's review, the session's QUIT): the status bar says so.
std::optional<std::size_t> TForm1::PopupMessageRow() {
  if (!PopupMessage) return std::nullopt;
  const TMenuMessage& message = *PopupMessage;
  auto holds = [&](std::size_t index) {
    const MessageRow& row = ReviewListView1[index];
    return row.Number == message.Number && row.Uid == message.Uid;
  };
  if (State.AccountText == message.Account) {
    if (message.Row < ReviewListView1.Count() && holds(message.Row)) return message.Row;
    for (std::size_t index = 0; index < ReviewListView1.Count(); ++index) {
      if (holds(index)) return index;
    }
  }
  StatusBar1Text = kMessageGoneText;
  Changed();
  return std::nullopt;
}

MessageRow* TForm1::RowUnderPopupPoint() {
  std::optional<std::size_t> index = PopupMessageRow();
  return index ? &ReviewListView1[*index] : nullptr;
}

void TForm1::Block1Click() {
  Block({&ScreeningState::SubjectList, kSubjectListFile, &MessageRow::Subject,
         MessageCategory::mcBlockedSubject});
}

void TForm1::Block2Click() {
  Block({&ScreeningState::SenderList, kSenderListFile, &MessageRow::From,
         MessageCategory::mcBlockedSender});
}

void TForm1::BlocktherecipientTofield1Click() {
  Block({&ScreeningState::RecipientList, kRecipientListFile, &MessageRow::To,
         MessageCategory::mcBlockedRecipient});
}

// The list is reloaded first so that entries added with the list editors
// are kept. The text is added once (entries compare ignoring case), and the
// whole file is rewritten. Only then are the rows with exactly this text
// ticked: when the file cannot be read or written, the rows stay as they
// were and the list in memory stays as the file has it. A text too short
// to be an entry is refused; a friend's row is never ticked.
void TForm1::Block(const BlockAction& action) {
  MessageRow* row = RowUnderPopupPoint();
  if (!row) return;
  const std::string text = (*row).*action.Column;
  if (!IsUsableBlockEntry(text)) {
    CurrentDialogs().ShowMessageBox(RefusedEntryText(action.FileName, text),
                                    TMsgDlgType::mtWarning);
    return;
  }
  if (!AddToListFile(action.FileName, text, State.*action.List, true)) return;
  for (std::size_t i = 0; i < ReviewListView1.Count(); ++i) {
    MessageRow& candidate = ReviewListView1[i];
    if (candidate.*action.Column != text || IsFriend(State.FriendList, candidate.From)) continue;
    candidate.Rule = text;
    ReviewListView1.SetRowState(i, true, action.Icon);
  }
  Changed();
}

// The list file reloaded, with the text added once (entries compare
// ignoring case) and the file rewritten; `list` follows the file (only its
// usable block entries when `usableOnly`). False, after telling the user,
// when the file cannot be read or written.
bool TForm1::AddToListFile(const char* fileName, const std::string& text, TextLines& list,
                           bool usableOnly) {
  std::string path = ProgramFile(State.ProgramFolder, fileName);
  std::optional<TextLines> entries = ReloadBlockList(path);
  if (!entries) {
    CurrentDialogs().ShowMessageBox(CannotOpenFileText(path), TMsgDlgType::mtError);
    return false;
  }
  auto follow = [&] {
    TextLines ignored;
    list = usableOnly ? UsableBlockEntries(*entries, ignored) : *entries;
  };
  follow();
  if (ListContains(*entries, text)) return true;
  entries->push_back(text);
  if (!WriteListFile(path, *entries)) {
    CurrentDialogs().ShowMessageBox(CannotCreateFileText(path), TMsgDlgType::mtError);
    return false;
  }
  follow();
  return true;
}

void TForm1::AllowSender1Click() {
  MessageRow* row = RowUnderPopupPoint();
  if (!row || TrimBlanks(row->From).empty()) return;
  if (!AddToListFile(kFriendListFile, TrimBlanks(row->From), State.FriendList, false)) return;
  for (std::size_t i = 0; i < ReviewListView1.Count(); ++i) {
    MessageRow& candidate = ReviewListView1[i];
    // A friend's name lifts no virus rule: worms send from known addresses.
    if (!IsFriend(State.FriendList, candidate.From) ||
        candidate.CategoryIcon == MessageCategory::mcVirus) {
      continue;
    }
    candidate.Rule.clear();
    ReviewListView1.SetRowState(i, false, MessageCategory::mcUseful);
  }
  Changed();
}

void TForm1::Unblockthissubject1Click() {
  Unselect();
}

void TForm1::Unblockthissender1Click() {
  Unselect();
}

void TForm1::Unselect() {
  std::optional<std::size_t> index = PopupMessageRow();
  if (!index) return;
  ReviewListView1.SetRowState(*index, false, MessageCategory::mcUseful);
  Changed();
}

void TForm1::SetRowChecked(std::size_t index, bool checked) {
  ReviewListView1.SetRowChecked(index, checked);
  Changed();
}

void TForm1::ReloadFriendList() {
  State.FriendList =
      ReloadBlockList(ProgramFile(State.ProgramFolder, kFriendListFile)).value_or(TextLines{});
  Changed();
}

void TForm1::PopupNotifier1Click() {
  TrayIcon1.ShowMainWindow();
  Changed();
}

}  // namespace qb
