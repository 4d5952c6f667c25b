#include "support/PrivateResolver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/TempFolder.h"

namespace qb::test {

namespace {

constexpr const char* kMarker = "QB_PRIVATE_RESOLVER";

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The child's outcome as this test's own.
void Report(const ProcessResult& result) {
  if (result.ExitCode == 0 && result.Output.find("[  SKIPPED ]") != std::string::npos) {
    GTEST_SKIP() << "skipped in the private resolver:\n" << result.Output;
  }
  if (result.ExitCode != 0 && result.Output.find("[ RUN      ]") == std::string::npos) {
    GTEST_SKIP() << "no private mount namespace here (needs root): " << result.Errors;
  }
  EXPECT_EQ(result.ExitCode, 0) << "the test in the private resolver failed:\n"
                                << result.Output << result.Errors;
}

}  // namespace

bool InPrivateResolver() {
  return std::getenv(kMarker) != nullptr;
}

ProcessResult RunWithPrivateResolver(const PrivateResolverFiles& files,
                                     const std::vector<std::string>& argv,
                                     std::chrono::milliseconds timeout) {
  TempFolder folder("qb-resolver");
  std::string resolvConf = folder.File("resolv.conf");
  std::string hosts = folder.File("hosts");
  std::string nsswitch = folder.File("nsswitch.conf");
  WriteText(resolvConf, "nameserver " + files.NameServer + "\noptions " + files.Options + "\n");
  WriteText(hosts, files.Hosts);
  WriteText(nsswitch, "hosts: files dns\n");
  // $1 to $3 are the files, the rest the program and its arguments.
  std::vector<std::string> command = {
      "unshare",
      "-m",
      "--propagation",
      "private",
      "sh",
      "-c",
      "mount --bind \"$1\" /etc/resolv.conf && mount --bind \"$2\" /etc/hosts && "
      "mount --bind \"$3\" /etc/nsswitch.conf && shift 3 && exec \"$@\"",
      "sh",
      resolvConf,
      hosts,
      nsswitch};
  command.insert(command.end(), argv.begin(), argv.end());
  return RunProcess(command, timeout, {{kMarker, "1"}});
}

bool RunInPrivateResolver(const PrivateResolverFiles& files, std::chrono::milliseconds timeout) {
  if (InPrivateResolver()) return true;
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  Report(RunWithPrivateResolver(files, {self, filter}, timeout));
  return false;
}

}  // namespace qb::test
