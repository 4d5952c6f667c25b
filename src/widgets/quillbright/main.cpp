// quillbright: the desktop program. It starts hidden in the tray (with the
// first argument "-shortcut" it shows its window), screens the mail clients'
// POP3 sessions, and shows the review list after each scan. Only the tray
// menu's "Exit" (or SIGINT / SIGTERM) ends it, with status 0. "--help" and
// "--version" answer without a display and end.
#include <QApplication>
#include <cstdlib>
#include <iostream>
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (qb::AnswerCommandLine(arguments, "quillbright", qb::DesktopHelpText(), std::cout)) return 0;
  if (!HasDisplay()) {
    std::cerr << "quillbright: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "quillbright: without a display, run the headless program quillbrightd "
                 "instead (quillbrightd; in a source tree, make run-headless).\n";
    return 2;
  }
  qb::TStopSignals stopSignals;  // before any thread starts
  QApplication app(argc, argv);
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
