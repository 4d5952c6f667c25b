#include "platform/Dialogs.h"

#include <iostream>

namespace qb {

namespace {

IDialogs*& Installed() {
  static IDialogs* dialogs = nullptr;
  return dialogs;
}

const char* KindLabel(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return "warning";
    case TMsgDlgType::mtError:
      return "error";
    default:
      return "information";
  }
}

}  // namespace

void ConsoleDialogs::ShowMessageBox(const std::string& text, TMsgDlgType type) {
  std::cerr << "quillbright: " << KindLabel(type) << ": " << text << std::endl;
}

std::optional<std::string> ConsoleDialogs::InputBox(const std::string&, const std::string&,
                                                    const std::string&) {
  return std::nullopt;
}

IDialogs& CurrentDialogs() {
  static ConsoleDialogs console;
  IDialogs* installed = Installed();
  return installed ? *installed : console;
}

IDialogs* InstallDialogs(IDialogs* dialogs) {
  IDialogs* previous = Installed();
  Installed() = dialogs;
  return previous;
}

}  // namespace qb
