#include "platform/Shell.h"

#include <iostream>

namespace qb {

namespace {

IShell*& Installed() {
  static IShell* shell = nullptr;
  return shell;
}

}  // namespace

bool ConsoleShell::OpenDocument(const std::string& pathOrUrl) {
  std::cerr << "quillbright: open " << pathOrUrl << " in a browser" << std::endl;
  return false;
}

IShell& CurrentShell() {
  static ConsoleShell console;
  IShell* installed = Installed();
  return installed ? *installed : console;
}

IShell* InstallShell(IShell* shell) {
  IShell* previous = Installed();
  Installed() = shell;
  return previous;
}

}  // namespace qb
