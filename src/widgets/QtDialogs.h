// The dialogs interface with Qt: modal message boxes and input boxes. They
// run Qt's loop, and with it the program's (LoopBridge).
#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace qb {

class TQtDialogs : public IDialogs {
 public:
  // Installs itself as the process's dialogs while it lives.
  TQtDialogs();
  ~TQtDialogs() override;
  TQtDialogs(const TQtDialogs&) = delete;
  TQtDialogs& operator=(const TQtDialogs&) = delete;

  void ShowMessageBox(const std::string& text, TMsgDlgType type) override;
  std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                      const std::string& initial) override;
  bool Confirm(const std::string& text, const std::string& yes) override;

 private:
  IDialogs* previous_;
};

// The window a dialog opened now belongs above: the active modal dialog
// (an editor, the setup), else the active window.
QWidget* DialogParent();

}  // namespace qb
