// A shell for tests: records every document it is asked to open. Installs
// itself as the process's shell while it lives and puts the previous one back.
//
//   RecordingShell shell;
//   ... code under test ...
//   EXPECT_EQ(shell.Opened(), std::vector<std::string>{"/opt/qb/quillbright.html"});
#pragma once

#include "platform/Shell.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::test {

class RecordingShell : public IShell {
 public:
  RecordingShell() : previous_(InstallShell(this)) {}
  ~RecordingShell() override { InstallShell(previous_); }
  RecordingShell(const RecordingShell&) = delete;
  RecordingShell& operator=(const RecordingShell&) = delete;

  bool OpenDocument(const std::string& pathOrUrl) override {
    opened_.push_back(pathOrUrl);
    if (OnOpen) OnOpen(pathOrUrl);
    return true;
  }

  const std::vector<std::string>& Opened() const { return opened_; }
  // Called on each open, so a test can record the order of events.
  std::function<void(const std::string&)> OnOpen;

 private:
  IShell* previous_;
  std::vector<std::string> opened_;
};

}  // namespace qb::test
