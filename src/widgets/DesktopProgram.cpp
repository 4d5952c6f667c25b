#include "widgets/DesktopProgram.h"

#include <QApplication>

namespace qb {

TDesktopProgram::TDesktopProgram(IHostResolver& resolver, std::function<bool()> trayAvailable)
    : tray_(std::move(trayAvailable)), application_(popup_, tray_, resolver) {}

// The view goes first; the window's logic then closes its gateway without
// telling anyone.
TDesktopProgram::~TDesktopProgram() {
  tray_.SetMainWindow(nullptr);
  window_.reset();
}

TForm1& TDesktopProgram::Start(const std::vector<std::string>& arguments) {
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setQuitOnLastWindowClosed(false);
  TForm1& form = application_.Start(arguments);
  form.OnClose = [this](TForm1*) {
    closed_ = true;
    QCoreApplication::exit(0);
  };
  window_ = std::make_unique<TMainWindow>(form);
  popup_.Notifier().OnClick = [&form](TPopupNotifier*) { form.PopupNotifier1Click(); };
  popup_.Desktop().TrayIconGeometry = [this] { return tray_.Icon().geometry(); };
  tray_.OnExit = [this] { window_->Exit1Click(); };
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
  return form;
}

// A stop during the set-up (a signal while a message box was open) has
// already closed the window: there is no loop left to run.
int TDesktopProgram::Run() {
  if (closed_) return 0;
  return QApplication::exec();
}

}  // namespace qb
