#include "widgets/DesktopProgram.h"

#include <QApplication>

#include "app/StartMessages.h"
#include "widgets/BlockListEditorDialog.h"
#include "widgets/SettingsDialog.h"
#include "widgets/SetupDialogs.h"

namespace qb {

TDesktopProgram::TDesktopProgram(IHostResolver& resolver, std::function<bool()> trayAvailable)
    : tray_(std::move(trayAvailable)), application_(popup_, tray_, resolver, [this] {
        closed_ = true;
        QCoreApplication::exit(0);
      }) {}

// The view goes first; the window's logic then closes its gateway without
// telling anyone.
TDesktopProgram::~TDesktopProgram() {
  tray_.SetMainWindow(nullptr);
  window_.reset();
}

TForm1& TDesktopProgram::Start(const std::vector<std::string>& arguments) {
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setQuitOnLastWindowClosed(false);
  application_.OnMainFormCreated = [this](TApplication*, TForm1& form) {
    AttachSetupDialogs(form, [this]() -> QWidget* { return window_.get(); });
  };
  TForm1& form = application_.Start(arguments);
  window_ = std::make_unique<TMainWindow>(form);
  AttachMenuCommands(form);
  popup_.Notifier().OnClick = [&form](TPopupNotifier*) { form.PopupNotifier1Click(); };
  popup_.Desktop().TrayIconGeometry = [this] { return tray_.Icon().geometry(); };
  tray_.OnExit = [this] { window_->Exit1Click(); };
  tray_.OnRemovedMail = [this] { window_->ShowRemovedMail(); };
  window_->OnStatusShown = [this](const QString& status) { tray_.ShowStatus(status); };
  window_->Refresh();
  window_->OnMinimized = [this] {
    if (tray_.TrayAvailable()) tray_.Logic().ApplicationMinimized();
  };
  tray_.SetMainWindow(window_.get());
  if (!tray_.TrayAvailable()) {
    window_->CloseEndsProgram = true;
    form.StatusBar1Text = kNoTrayText;
    window_->Refresh();
    tray_.ShowMainWindow();
  }
  if (!form.MailGateway1.Active()) {
    form.StatusBar1Text = NotListeningText(form.MailGateway1.Port);
    tray_.Logic().SetHint(form.StatusBar1Text);
    window_->Refresh();
  }
  return form;
}

// Each editor is a new dialog above the window, freed when it closes.
void TDesktopProgram::AttachMenuCommands(TForm1& form) {
  TMainWindow& window = *window_;
  const std::string& folder = form.State.ProgramFolder;
  window.OnSetupWizard = [&form] { form.SetupWizard1Click(); };
  window.OnUndoSetup = [] { UndoSetup(); };
  window.OnBlockedSubjects = [&window, &folder] {
    ShowBlockListEditor(&window, kSubjectsEditor, folder);
  };
  window.OnBlockedSenders = [&window, &folder] {
    ShowBlockListEditor(&window, kSendersEditor, folder);
  };
  window.OnBlockedRecipients = [&window, &folder] {
    ShowBlockListEditor(&window, kRecipientsEditor, folder);
  };
  window.OnSettings = [&window, &folder] { ShowSettingsDialog(&window, folder); };
  window.OnHelp = [&folder] { OpenHelp(folder); };
  window.UpdateMenuHooks();
}

// A stop during the set-up (a signal while a message box was open) has
// already closed the window: there is no loop left to run.
int TDesktopProgram::Run() {
  if (closed_) return 0;
  return QApplication::exec();
}

}  // namespace qb
