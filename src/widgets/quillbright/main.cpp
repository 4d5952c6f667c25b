// quillbright: the desktop program. It starts hidden in the tray (with the
// first argument "-shortcut" it shows its window), screens the mail clients'
// POP3 sessions, and shows the review list after each scan. Only the tray
// menu's "Exit" (or SIGINT / SIGTERM) ends it, with status 0. "--help" and
// "--version" answer without a display and end; an unknown option or a
// missing value is named on one line, with status 2. Qt's own options
// (-platform, -style, ...) are Qt's: it takes them out of argv.
#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/CheckAhead.h"
#include "app/CommandLine.h"
#include "app/StopSignals.h"
#include "platform/HostResolver.h"
#include "widgets/DesktopProgram.h"
#include "widgets/LoopBridge.h"
#include "widgets/QtDialogs.h"
#include "widgets/QtShell.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::optional<int> Answer(const qb::TCommandLine& line) {
  return qb::AnswerCommandLine(line, "quillbright", qb::DesktopHelpText(), std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<qb::TOption> options = qb::DesktopOptions();
  // Before Qt has taken its options out, a fault may be one of them: only a
  // display-less start reports it here.
  const qb::TCommandLine early = qb::ParseCommandLine(options, ArgumentsOf(argc, argv));
  if (early.Fault.empty() || !HasDisplay()) {
    if (std::optional<int> status = Answer(early)) return *status;
  }
  if (!HasDisplay()) {
    std::cerr << "quillbright: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "quillbright: without a display, run the headless program quillbrightd "
                 "instead (quillbrightd; in a source tree, make run-headless).\n";
    return 2;
  }
  qb::TStopSignals stopSignals;  // before any thread starts
  QApplication app(argc, argv);
  const std::vector<std::string> arguments = ArgumentsOf(argc, argv);
  if (std::optional<int> status = Answer(qb::ParseCommandLine(options, arguments))) return *status;
  qb::TLoopBridge bridge;
  qb::TQtDialogs dialogs;
  qb::TQtShell shell;
  // The resolver in use lives as long as the process: a lookup worker may
  // still be inside it when main returns.
  qb::IHostResolver& resolver = qb::CurrentHostResolver();
  qb::TDesktopProgram program(resolver);
  program.Start(arguments);
  if (const char* report = std::getenv("QUILLBRIGHT_BUTTON_REPORT"); report && *report) {
    program.Window().SetButtonReportFile(QString::fromLocal8Bit(report));
    program.Window().Refresh();
  }
  std::unique_ptr<qb::TCheckAhead> checkAhead = qb::TCheckAhead::StartIfAllowed(program.Form());
  stopSignals.OnStop = [&program](int) { program.Window().Exit1Click(); };
  return program.Run();
}
