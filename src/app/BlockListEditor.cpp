#include "app/BlockListEditor.h"

#include <algorithm>

#include "app/ListFiles.h"
#include "app/ProgramFolder.h"
#include "platform/Dialogs.h"
#include "screening/BlockEntries.h"
#include "screening/ListFile.h"

namespace qb {

const TBlockListKind kSubjectsEditor = {
    "Subjects", "Subjects of the emails to be removed from email accounts:", kSubjectListFile,
    "Subject to be blocked:", "Add new subject"};
const TBlockListKind kSendersEditor = {
    "Senders",
    "Senders of the emails to be removed (an entry matches the start of the address "
    "or of the display name):",
    kSenderListFile, "Sender to be blocked:", "Add new sender"};
const TBlockListKind kRecipientsEditor = {
    "Recipients", "Recipients of the emails to be removed from email accounts:", kRecipientListFile,
    "Recipient to be blocked:", "Add new recipient"};
const TBlockListKind kFriendsEditor = {"Friends",
                                       "Senders whose emails are ticked only as a possible "
                                       "virus (an address or @domain each):",
                                       kFriendListFile,
                                       "Sender always allowed:",
                                       "Add new friend",
                                       false};

std::string LineBreakRefusedText() {
  return "An entry cannot contain a line break: each line of the list is an entry of its own. "
         "Add each entry separately.";
}

TBlockListEditor::TBlockListEditor(const TBlockListKind& kind, std::string programFolder)
    : kind_(kind), programFolder_(std::move(programFolder)) {}

std::string TBlockListEditor::FilePath() const {
  return ProgramFile(programFolder_, kind_.FileName);
}

void TBlockListEditor::FormCreate() {
  items_.clear();
  std::optional<TextLines> entries = ReadListFile(FilePath());
  if (!entries) {
    CurrentDialogs().ShowMessageBox(CannotOpenFileText(FilePath()), TMsgDlgType::mtError);
  } else {
    for (std::string& entry : *entries) items_.push_back({std::move(entry), false});
  }
  Changed();
}

void TBlockListEditor::SetChecked(std::size_t index, bool checked) {
  if (index >= items_.size()) return;
  items_[index].Checked = checked;
  Changed();
}

void TBlockListEditor::btnUnlistClick() {
  std::erase_if(items_, [](const TBlockListItem& item) { return item.Checked; });
  Save();
  Changed();
}

void TBlockListEditor::btnNewClick() {
  std::string entry =
      CurrentDialogs().InputBox(kind_.InputTitle, kind_.InputPrompt, "").value_or("");
  if (entry.find_first_of("\r\n") != std::string::npos) {
    CurrentDialogs().ShowMessageBox(LineBreakRefusedText(), TMsgDlgType::mtWarning);
    return;
  }
  if (kind_.TicksMessages && !entry.empty() && !IsUsableBlockEntry(entry)) {
    CurrentDialogs().ShowMessageBox(RefusedEntryText(kind_.FileName, entry),
                                    TMsgDlgType::mtWarning);
    return;
  }
  items_.push_back({std::move(entry), false});
  Save();
  Changed();
}

void TBlockListEditor::btnOKClick() {
  ModalResult = 1;
}

void TBlockListEditor::Save() {
  TextLines entries;
  entries.reserve(items_.size());
  for (const TBlockListItem& item : items_) entries.push_back(item.Text);
  if (!WriteListFile(FilePath(), entries)) {
    CurrentDialogs().ShowMessageBox(CannotCreateFileText(FilePath()), TMsgDlgType::mtError);
  }
}

void TBlockListEditor::Changed() {
  if (OnChanged) OnChanged(this);
}

}  // namespace qb
