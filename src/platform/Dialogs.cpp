#include "platform/Dialogs.h"

#include <iostream>
#include <memory>

#include "platform/MessageLoop.h"

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

// Each box gets a window of its own that lives until the box has closed, so
// boxes posted one after another show in order and none holds a window once
// it is done.
void PostMessageBox(const std::string& text, TMsgDlgType type) {
  MessageLoop& loop = MessageLoop::Instance();
  auto window = std::make_shared<HWND>(0);
  *window = loop.CreateWindow([window, text, type](std::uint32_t msg, WPARAM, LPARAM) -> LRESULT {
    if (msg != WM_USER) return 0;
    MessageLoop::Instance().DestroyWindow(*window);
    CurrentDialogs().ShowMessageBox(text, type);
    return 0;
  });
  loop.PostMessage(*window, WM_USER);
}

}  // namespace qb
