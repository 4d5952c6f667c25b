// quillbrightd: the main window's controller without a display. Messages for
// the user and one line per scan go to standard error; every scan's ticked
// messages are removed as the mail client asks for them. SIGINT and SIGTERM
// end it as the tray menu's "Exit" would: sessions and listener closed,
// exit status 0. "--help" and "--version" answer and end.
#include <iostream>
#include <string>
#include <vector>

#include "app/CheckAhead.h"
#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/LocalTls.h"
#include "app/StartUp.h"
#include "app/StopSignals.h"
#include "platform/HostResolver.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  bool asksHelp = qb::CommandLineRequest(arguments) == qb::TCommandLineRequest::crHelp;
  std::string help = qb::HeadlessHelpText() + (asksHelp ? qb::LocalTlsHelp() : "");
  if (qb::AnswerCommandLine(arguments, "quillbrightd", help, std::cout)) return 0;
  qb::TStopSignals stopSignals;  // before any thread starts
  qb::TSilentPopup popup;
  qb::TSilentTray tray;
  // The resolver in use lives as long as the process: a lookup worker may
  // still be inside it when main returns.
  qb::IHostResolver& resolver = qb::CurrentHostResolver();
  qb::TApplication application(popup, tray, resolver);
  qb::TForm1& form = application.Start(arguments);
  qb::THeadlessRemover remover(form, std::cerr);
  std::unique_ptr<qb::TCheckAhead> checkAhead = qb::TCheckAhead::StartIfAllowed(form);
  stopSignals.OnStop = [&form](int) {
    if (form.ExitRequested) return;
    form.ExitRequested = true;
    form.Close();
  };
  return application.Run();
}
