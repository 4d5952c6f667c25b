// The dialogs and shell interfaces of the desktop program: Qt message boxes
// and input boxes, and the desktop's own handler (QDesktopServices) for
// files and web addresses. Install them once the QApplication exists.
#pragma once

#include "platform/Dialogs.h"
#include "platform/Shell.h"

class QWidget;

namespace qb {

class TQtDialogs : public IDialogs {
 public:
  void ShowMessageBox(const std::string& text, TMsgDlgType type) override;
  std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                      const std::string& initial) override;
};

class TQtShell : public IShell {
 public:
  bool OpenDocument(const std::string& pathOrUrl) override;
};

// The window a dialog opened now belongs above: the active modal dialog,
// else the active window.
QWidget* DialogParent();

}  // namespace qb
