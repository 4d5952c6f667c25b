// The shell interface: opening a file or a web address with the desktop's
// own handler (a browser for the help page and links). The desktop program
// installs one that asks the desktop; until then the console one says on
// standard error what it would have opened. Tests install a recording one.
#pragma once

#include <string>

namespace qb {

class IShell {
 public:
  virtual ~IShell() = default;
  // Opens a local file path or a URL; whether the desktop took it.
  virtual bool OpenDocument(const std::string& pathOrUrl) = 0;
};

class ConsoleShell : public IShell {
 public:
  bool OpenDocument(const std::string& pathOrUrl) override;
};

// The shell in use; a ConsoleShell until one is installed. The installer
// keeps the object alive while it is installed and restores the previous one.
IShell& CurrentShell();
IShell* InstallShell(IShell* shell);  // returns the previous one

}  // namespace qb
