// The review list's own actions on the main window: sorting, the context
// menu with its block and unselect actions, and the popup's click.
#include "app/ListFiles.h"
#include "app/ProgramFolder.h"
#include "app/Unit1.h"
#include "platform/Dialogs.h"
#include "screening/ListFile.h"

namespace qb {

void TForm1::ReviewListView1ColumnClick(int column) {
  ReviewListView1.SortColumn = column;
  ReviewListView1.Sort();
  Changed();
}

int TForm1::ReviewListView1Compare(const MessageRow& a, const MessageRow& b) const {
  int column = ReviewListView1.SortColumn;
  if (ReviewRowLess(a, b, column)) return -1;
  return ReviewRowLess(b, a, column) ? 1 : 0;
}

void TForm1::PopupMenu2Popup(TPoint mousePosition, std::optional<std::size_t> rowUnderPoint) {
  PopupPoint = mousePosition;
  PopupRow = rowUnderPoint;
  PopupMenu2 = TReviewListMenu{};
  if (const MessageRow* row = RowUnderPopupPoint()) {
    PopupMenu2.Block1Enabled = !ListContains(State.SubjectList, row->Subject);
    PopupMenu2.Block2Enabled = !ListContains(State.SenderList, row->From);
    PopupMenu2.BlocktherecipientTofield1Enabled = !ListContains(State.RecipientList, row->To);
    PopupMenu2.Unblockthissubject1Enabled = row->Checked;
    PopupMenu2.Unblockthissender1Enabled = row->Checked;
    SelectedRow = PopupRow;
  }
  Changed();
}

// The row at the menu's position, if the list still has one there: rows
// may have gone since the menu opened (a new scan, the session's QUIT).
MessageRow* TForm1::RowUnderPopupPoint() {
  if (!PopupRow || *PopupRow >= ReviewListView1.Count()) return nullptr;
  return &ReviewListView1[*PopupRow];
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
// were and the list in memory stays as the file has it.
void TForm1::Block(const BlockAction& action) {
  MessageRow* row = RowUnderPopupPoint();
  if (!row) return;
  std::string path = ProgramFile(State.ProgramFolder, action.FileName);
  std::optional<TextLines> entries = ReloadBlockList(path);
  if (!entries) {
    CurrentDialogs().ShowMessageBox(CannotOpenFileText(path), TMsgDlgType::mtError);
    return;
  }
  State.*action.List = *entries;
  const std::string text = (*row).*action.Column;
  if (!ListContains(*entries, text)) {
    entries->push_back(text);
    if (!WriteListFile(path, *entries)) {
      CurrentDialogs().ShowMessageBox(CannotCreateFileText(path), TMsgDlgType::mtError);
      return;
    }
    State.*action.List = std::move(*entries);
  }
  for (std::size_t i = 0; i < ReviewListView1.Count(); ++i) {
    if (ReviewListView1[i].*action.Column == text)
      ReviewListView1.SetRowState(i, true, action.Icon);
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
  if (!RowUnderPopupPoint()) return;
  ReviewListView1.SetRowState(*PopupRow, false, MessageCategory::mcUseful);
  Changed();
}

void TForm1::SetRowChecked(std::size_t index, bool checked) {
  ReviewListView1.SetRowChecked(index, checked);
  Changed();
}

void TForm1::PopupNotifier1Click() {
  TrayIcon1.ShowMainWindow();
  Changed();
}

}  // namespace qb
