// The desktop program put together: the main window's logic (TApplication,
// TForm1) with the Qt popup, the tray icon and the main window's view. The
// program's main and the GUI tests build the same thing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/StartUp.h"
#include "platform/HostResolver.h"
#include "widgets/MainWindow.h"
#include "widgets/QtPopupNotifier.h"
#include "widgets/QtTrayIcon.h"

namespace qb {

inline constexpr const char* kNoTrayText =
    "No system tray was found: the window stays open, and closing it ends Quillbright.";

class TDesktopProgram {
 public:
  explicit TDesktopProgram(IHostResolver& resolver,
                           std::function<bool()> trayAvailable = TQtTrayIcon::DesktopHasTray);
  ~TDesktopProgram();
  TDesktopProgram(const TDesktopProgram&) = delete;
  TDesktopProgram& operator=(const TDesktopProgram&) = delete;

  // Creates the main window (its set-up runs, with the first-run dialogs)
  // and its view, whose menu opens the setup dialogs, the block-list editors
  // and the help. It stays hidden in the tray unless the first argument is
  // "-shortcut", or the desktop has no tray: then it shows and says so in the
  // status bar. A gateway that could not listen is named in the status bar
  // and the tray's tip (after the message box at its start).
  TForm1& Start(const std::vector<std::string>& arguments);
  // Runs Qt's loop (and through it the program's) until Exit; the exit code.
  int Run();

  TForm1& Form() { return *application_.MainForm(); }
  TMainWindow& Window() { return *window_; }
  TQtTrayIcon& Tray() { return tray_; }
  TQtPopupNotifier& Popup() { return popup_; }

 private:
  void AttachMenuCommands(TForm1& form);

  TQtPopupNotifier popup_;
  TQtTrayIcon tray_;
  TApplication application_;
  std::unique_ptr<TMainWindow> window_;
  bool closed_ = false;
};

}  // namespace qb
