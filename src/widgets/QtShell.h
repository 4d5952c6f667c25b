// The shell interface with Qt: the desktop's own handler (QDesktopServices)
// opens files and web addresses, the help page in a browser. Installs itself
// while it lives.
#pragma once

#include "platform/Shell.h"

namespace qb {

class TQtShell : public IShell {
 public:
  TQtShell();
  ~TQtShell() override;
  TQtShell(const TQtShell&) = delete;
  TQtShell& operator=(const TQtShell&) = delete;

  bool OpenDocument(const std::string& pathOrUrl) override;

 private:
  IShell* previous_;
};

}  // namespace qb
