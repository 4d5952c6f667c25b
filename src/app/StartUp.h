// Start-up: the main routine shared by the programs, the command line, and
// the listening port.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Unit1.h"

namespace qb {

inline constexpr const char* kApplicationTitle = "Quillbright";

// The gateway's listening port: QUILLBRIGHT_POP3_PORT when set and not
// empty (a number or a service name), else the service "pop3" (110).
std::string ListeningPort();
// The same as a number, for a mail client's settings; 110 when the name is
// no known service.
int ListeningPortNumber();

// Whether "-shortcut" is among the arguments (checked against the desktop
// program's options before: no value is ever "-shortcut").
bool IsShortcutStart(const std::vector<std::string>& arguments);

// Ends the program's message loop (MessageLoop::Quit with status 0).
void QuitMessageLoop();

// The main routine: the application with its main window. When the window
// closes for good (after Exit) `quit` ends the program's loop: the message
// loop's by default, Qt's for the desktop program. The window, and with it
// the gateway, its sessions and listener, is freed with the application.
class TApplication {
 public:
  TApplication(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon, IHostResolver& resolver,
               std::function<void()> quit = QuitMessageLoop);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  std::string Title;
  // Fired once the main window exists and before its set-up runs, so a view
  // can attach the handlers the set-up already uses (the setup dialogs).
  std::function<void(TApplication* sender, TForm1& form)> OnMainFormCreated;

  // Sets the title, creates the main window (which runs its set-up) and
  // shows it at a "-shortcut" start; otherwise it stays hidden in the tray.
  // `arguments` are those after the program name.
  TForm1& Start(const std::vector<std::string>& arguments);
  // Runs the message loop until the main window has closed for good;
  // returns the exit code.
  int Run();

  TForm1* MainForm() { return form_.get(); }

 private:
  void FreeMainForm();

  IPopupNotifier& popupNotifier_;
  ITrayIcon& trayIcon_;
  IHostResolver& resolver_;
  std::function<void()> quit_;
  std::unique_ptr<TForm1> form_;
};

}  // namespace qb
