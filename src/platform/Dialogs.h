// The dialogs interface: how the program talks to the user. The desktop
// program shows message boxes, the headless program writes to standard
// error, tests record what was asked.
#pragma once

#include <optional>
#include <string>

namespace qb {

enum class TMsgDlgType { mtInformation, mtWarning, mtError };

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // A modal message box with an OK button.
  virtual void ShowMessageBox(const std::string& text, TMsgDlgType type) = 0;
  // A text input box; nullopt when the user cancels.
  virtual std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                              const std::string& initial) = 0;
  // A question with the buttons `yes` and "Cancel", Cancel the default; true
  // when the user chose `yes`. Where nobody can answer, nothing is done.
  virtual bool Confirm(const std::string& /*text*/, const std::string& /*yes*/) { return false; }
};

// Message boxes to standard error; input boxes are answered as cancelled.
class ConsoleDialogs : public IDialogs {
 public:
  void ShowMessageBox(const std::string& text, TMsgDlgType type) override;
  std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                      const std::string& initial) override;
};

// The dialogs in use; a ConsoleDialogs until one is installed. The installer
// keeps the object alive while it is installed and restores the previous one.
IDialogs& CurrentDialogs();
IDialogs* InstallDialogs(IDialogs* dialogs);  // returns the previous one

// Shows a message box through CurrentDialogs() from a posted message, once
// the handler that calls this has returned. A socket handler uses it: a box
// pumps the message loop while it is open, and a box opened inside the
// handler would let the session be freed under the handler still running.
// Main thread only.
void PostMessageBox(const std::string& text, TMsgDlgType type);

}  // namespace qb
