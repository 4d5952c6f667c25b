#include "support/QuillbrightdProcess.h"

#include <filesystem>
#include <thread>

#include "support/LoopbackSockets.h"
#include "support/ProgramEnvironment.h"

namespace qb::test {

namespace {

using namespace std::chrono_literals;

Environment WithOverrides(Environment base, const Environment& overrides) {
  for (const auto& [name, value] : overrides) base[name] = value;
  return base;
}

}  // namespace

std::string QuillbrightdProgram() {
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path().parent_path() / "bin" / "quillbrightd").string();
}

QuillbrightdProcess::QuillbrightdProcess(const std::string& home, const Environment& variables)
    : port_(PickFreeLoopbackPort()),
      process_({QuillbrightdProgram()}, WithOverrides(ProgramEnvironment(home, port_), variables)) {
  for (int attempt = 0; attempt < 100 && !listening_ && process_.Running(); ++attempt) {
    if (attempt) std::this_thread::sleep_for(50ms);
    listening_ = ConnectToLoopback(port_).Valid();
  }
}

ProcessResult QuillbrightdProcess::Stop(int signal, std::chrono::milliseconds timeout) {
  process_.Signal(signal);
  return process_.Wait(timeout);
}

}  // namespace qb::test
