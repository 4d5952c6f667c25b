// The three block-list editors (blocked subjects, senders and recipients) as
// one design: a check list of the list file's entries, "Remove checked from
// the list", "Add new" and "OK". Every change is written to the file at
// once; nothing is kept between openings. The editors leave the main
// window's lists in memory alone: those read the file again before the next
// block action, or at the next start.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qb {

// What tells the editors apart: their texts, their file, and whether the
// list ticks messages (then an entry too short to use is refused).
struct TBlockListKind {
  const char* Caption;
  const char* Label;
  const char* FileName;
  const char* InputTitle;
  const char* InputPrompt;
  bool TicksMessages = true;
};

extern const TBlockListKind kSubjectsEditor;    // TfrmSubjects
extern const TBlockListKind kSendersEditor;     // TfrmSenders
extern const TBlockListKind kRecipientsEditor;  // TfrmRecipients
extern const TBlockListKind kFriendsEditor;     // friends.txt: senders only a virus rule ticks

inline constexpr const char* kRemoveCheckedCaption = "Remove checked from the list";
inline constexpr const char* kAddNewCaption = "Add new";
inline constexpr const char* kOKCaption = "OK";

// The refusal of an entry that holds a line break: the next read of the
// file would split it into two entries.
std::string LineBreakRefusedText();

// One entry of the check list; the tick only marks it for removal.
struct TBlockListItem {
  std::string Text;
  bool Checked = false;
};

class TBlockListEditor {
 public:
  TBlockListEditor(const TBlockListKind& kind, std::string programFolder);

  const TBlockListKind& Kind() const { return kind_; }
  std::string FilePath() const;
  const std::vector<TBlockListItem>& Items() const { return items_; }

  // Loads the list file; one that cannot be read is reported ("Cannot open
  // file <path>") and the list starts empty.
  void FormCreate();
  void SetChecked(std::size_t index, bool checked);
  // Deletes every ticked item and saves the rest.
  void btnUnlistClick();
  // Asks for a new entry and appends it as typed; a cancelled box appends
  // an empty entry. An entry with a line break, or for a list that ticks
  // messages one too short to use (fewer than three characters but blanks),
  // is refused with a message and nothing changes. Duplicates are allowed.
  void btnNewClick();
  // Closes with the modal result 1; everything is already saved.
  void btnOKClick();

  int ModalResult = 0;
  // Fired after the items changed, so a view can show them again.
  std::function<void(TBlockListEditor* sender)> OnChanged;

 private:
  // Rewrites the file; one that cannot be written is reported ("Cannot
  // create file <path>") and the items keep the change.
  void Save();
  void Changed();

  const TBlockListKind& kind_;
  std::string programFolder_;
  std::vector<TBlockListItem> items_;
};

// The three members, by the names their menu items open.
class TfrmSubjects : public TBlockListEditor {
 public:
  explicit TfrmSubjects(std::string programFolder)
      : TBlockListEditor(kSubjectsEditor, std::move(programFolder)) {}
};
class TfrmSenders : public TBlockListEditor {
 public:
  explicit TfrmSenders(std::string programFolder)
      : TBlockListEditor(kSendersEditor, std::move(programFolder)) {}
};
class TfrmRecipients : public TBlockListEditor {
 public:
  explicit TfrmRecipients(std::string programFolder)
      : TBlockListEditor(kRecipientsEditor, std::move(programFolder)) {}
};

}  // namespace qb
