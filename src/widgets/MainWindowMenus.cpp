// The main window's menus: "File" (setup, removed mail, quit), "Options"
// (the list editors, friends, settings, start with the session) and "Help"
// (help, About), each item with a mnemonic and "…" where it opens a dialog;
// and the review list's context menu.
#include <QMenuBar>

#include "platform/Dialogs.h"
#include "widgets/AboutBox.h"
#include "widgets/BlockListEditorDialog.h"
#include "widgets/MainWindow.h"

namespace qb {

namespace {

// An item that runs its hook, if the view has one.
QAction* HookItem(QMenu* menu, const QString& caption, QObject* owner,
                  const std::function<void()>& hook) {
  return menu->addAction(caption, owner, [&hook] {
    if (hook) hook();
  });
}

}  // namespace

void TMainWindow::BuildMainMenu() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("&File");
  setupWizard_ = HookItem(file, "&Setup Wizard…", this, OnSetupWizard);
  undoSetup_ = HookItem(file, "&Undo setup…", this, OnUndoSetup);
  file->addSeparator();
  file->addAction("Removed &mail…", this, &TMainWindow::ShowRemovedMail);
  file->addSeparator();
  QAction* quit = file->addAction("&Quit", this, &TMainWindow::Exit1Click);
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* options = bar->addMenu("&Options");
  subjects_ = HookItem(options, "Blocked &Subjects…", this, OnBlockedSubjects);
  senders_ = HookItem(options, "Blocked S&enders (From: field)…", this, OnBlockedSenders);
  recipients_ = HookItem(options, "Blocked &Recipients (To: field)…", this, OnBlockedRecipients);
  options->addAction("&Friends (always allowed senders)…", this, [this] { EditFriends(); });
  options->addSeparator();
  settings_ = HookItem(options, "Se&ttings…", this, OnSettings);
  startWithSession_ = options->addAction("Start with my s&ession");
  startWithSession_->setCheckable(true);
  startWithSession_->setChecked(autostart_.Enabled());
  connect(options, &QMenu::aboutToShow, this,
          [this] { startWithSession_->setChecked(autostart_.Enabled()); });
  connect(startWithSession_, &QAction::triggered, this, &TMainWindow::StartWithSessionClick);

  QMenu* help = bar->addMenu("&Help");
  help_ = HookItem(help, "Quillbright &Help", this, OnHelp);
  help_->setShortcut(QKeySequence(Qt::Key_F1));
  help->addAction("&About Quillbright…", this, [this] {
    TAboutBox about(this);
    about.exec();
  });
  UpdateMenuHooks();
}

// The option follows the autostart entry on disk, which the desktop's own
// settings may change too; a failure is shown and the tick left as it is.
void TMainWindow::StartWithSessionClick(bool checked) {
  std::string error = autostart_.SetEnabled(checked);
  if (!error.empty()) CurrentDialogs().ShowMessageBox(error, TMsgDlgType::mtError);
  startWithSession_->setChecked(autostart_.Enabled());
}

void TMainWindow::UpdateMenuHooks() {
  setupWizard_->setEnabled(static_cast<bool>(OnSetupWizard));
  undoSetup_->setEnabled(static_cast<bool>(OnUndoSetup));
  subjects_->setEnabled(static_cast<bool>(OnBlockedSubjects));
  senders_->setEnabled(static_cast<bool>(OnBlockedSenders));
  recipients_->setEnabled(static_cast<bool>(OnBlockedRecipients));
  settings_->setEnabled(static_cast<bool>(OnSettings));
  help_->setEnabled(static_cast<bool>(OnHelp));
}

void TMainWindow::BuildContextMenu() {
  block1_ = popupMenu2_.addAction("Block this &subject", this, [this] { form_.Block1Click(); });
  block2_ = popupMenu2_.addAction("Block this s&ender (From: field)", this,
                                  [this] { form_.Block2Click(); });
  blockRecipient_ = popupMenu2_.addAction("Block this &recipient (To: field)", this,
                                          [this] { form_.BlocktherecipientTofield1Click(); });
  unselectSubject_ = popupMenu2_.addAction("&Unselect this subject", this,
                                           [this] { form_.Unblockthissubject1Click(); });
  unselectSender_ = popupMenu2_.addAction("U&nselect this sender", this,
                                          [this] { form_.Unblockthissender1Click(); });
  allowSender_ = popupMenu2_.addAction("&Always allow this sender", this,
                                       [this] { form_.AllowSender1Click(); });
}

// The friends editor is a block-list editor over friends.txt.
void TMainWindow::EditFriends() {
  ShowBlockListEditor(this, kFriendsEditor, form_.State.ProgramFolder);
  form_.ReloadFriendList();
}

// The row under the point becomes the selected and current one.
QMenu& TMainWindow::PrepareContextMenu(const QPoint& viewportPoint) {
  QModelIndex index = list_->indexAt(viewportPoint);
  std::optional<std::size_t> row;
  if (index.isValid()) {
    row = static_cast<std::size_t>(index.row());
    list_->setCurrentIndex(index);
    list_->selectRow(index.row());
  }
  QPoint global = list_->viewport()->mapToGlobal(viewportPoint);
  form_.PopupMenu2Popup({global.x(), global.y()}, row);
  const TReviewListMenu& items = form_.PopupMenu2;
  block1_->setEnabled(items.Block1Enabled);
  block2_->setEnabled(items.Block2Enabled);
  blockRecipient_->setEnabled(items.BlocktherecipientTofield1Enabled);
  unselectSubject_->setEnabled(items.Unblockthissubject1Enabled);
  unselectSender_->setEnabled(items.Unblockthissender1Enabled);
  allowSender_->setEnabled(items.AllowSender1Enabled);
  return popupMenu2_;
}

void TMainWindow::ShowContextMenu(const QPoint& viewportPoint) {
  PrepareContextMenu(viewportPoint).popup(list_->viewport()->mapToGlobal(viewportPoint));
}

}  // namespace qb
