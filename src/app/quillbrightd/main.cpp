// quillbrightd: the main window's controller without a display. Messages for
// the user and one line per scan go to standard error; every scan's ticked
// messages are removed as the mail client asks for them. SIGINT and SIGTERM
// end it as the tray menu's "Exit" would: sessions and listener closed,
// exit status 0. When it cannot listen it says why and ends with status 1.
// "--help" and "--version" answer and end; an unknown option or a missing
// value is named on one line, with status 2.
#include <iostream>
#include <optional>
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
  const std::vector<qb::TOption> options = qb::HeadlessOptions();
  const qb::TCommandLine line = qb::ParseCommandLine(options, arguments);
  // The local certificate's fingerprint lines only for --help: making them
  // may create the program folder and the certificate.
  std::string help = qb::HeadlessHelpText() + (line.Has("--help") ? qb::LocalTlsHelp() : "");
  if (std::optional<int> status =
          qb::AnswerCommandLine(line, "quillbrightd", help, std::cout, std::cerr)) {
    return *status;
  }
  qb::TStopSignals stopSignals;  // before any thread starts
  qb::TSilentPopup popup;
  qb::TSilentTray tray;
  // The resolver in use lives as long as the process: a lookup worker may
  // still be inside it when main returns.
  qb::IHostResolver& resolver = qb::CurrentHostResolver();
  qb::TApplication application(popup, tray, resolver);
  qb::TForm1& form = application.Start(arguments);
  // The reason is on standard error already; a service manager sees the
  // failure instead of a gateway that screens nothing.
  if (!form.MailGateway1.Active()) return 1;
  qb::THeadlessRemover remover(form, std::cerr);
  std::unique_ptr<qb::TCheckAhead> checkAhead = qb::TCheckAhead::StartIfAllowed(form);
  stopSignals.OnStop = [&form](int) {
    if (form.ExitRequested) return;
    form.ExitRequested = true;
    form.Close();
  };
  return application.Run();
}
