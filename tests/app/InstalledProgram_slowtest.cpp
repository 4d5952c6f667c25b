// Quillbright as a Linux user gets it: `cmake --install` into a temporary
// prefix (and under DESTDIR) leaves the expected tree, whose desktop entry,
// AppStream metadata and user unit pass their validators; the Debian package
// holds that tree with its dependencies and a clean lintian report; and the
// quillbrightd unpacked from it fills an empty data home from its shipped
// lists and screens a real fetchmail poll from a real Dovecot.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/SessionAutostart.h"
#include "app/Version.h"
#include "platform/FileStore.h"
#include "support/ChildProcess.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/QuillbrightdProcess.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kBuildTree = QB_BINARY_DIR;
const std::string kSourceTree = QB_SOURCE_DIR;
const std::vector<int> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

std::string Report(const ProcessResult& result) {
  return "exit " + std::to_string(result.ExitCode) + "\n" + result.Output + result.Errors;
}

bool Succeeds(const ProcessResult& result) {
  return result.ExitCode == 0 && !result.TimedOut;
}

// The files of the tree, relative to the prefix (the user unit's bytes
// depend on the prefix, so it is only listed).
std::vector<std::string> ExpectedFiles() {
  std::vector<std::string> files = {
      "bin/quillbright",
      "bin/quillbrightd",
      "lib/systemd/user/quillbrightd.service",
      "share/applications/quillbright.desktop",
      "share/doc/quillbright/changelog.gz",
      "share/doc/quillbright/copyright",
      "share/icons/hicolor/scalable/apps/quillbright.svg",
      "share/man/man1/quillbright.1.gz",
      "share/man/man1/quillbrightd.1.gz",
      "share/metainfo/example.quillbright.Quillbright.metainfo.xml",
  };
  for (int size : kIconSizes) {
    std::string side = std::to_string(size);
    files.push_back("share/icons/hicolor/" + side + "x" + side + "/apps/quillbright.png");
  }
  for (const fs::directory_entry& shipped : fs::directory_iterator(kSourceTree + "/data")) {
    files.push_back("share/quillbright/" + shipped.path().filename().string());
  }
  return files;
}

// Width and height from a PNG's IHDR chunk, or {0, 0}.
std::pair<int, int> PngSize(const std::string& path) {
  std::string bytes = ReadWholeFile(path).value_or("");
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  auto word = [&](std::size_t at) {
    int value = 0;
    for (std::size_t i = at; i < at + 4; ++i)
      value = value * 256 + static_cast<unsigned char>(bytes[i]);
    return value;
  };
  return {word(16), word(20)};
}

ProcessResult Install(const std::string& prefix, const std::string& destdir = "") {
  return RunProcess({"cmake", "--install", kBuildTree, "--prefix", prefix}, 120s,
                    {{"DESTDIR", destdir}});
}

bool Have(const std::string& tool) {
  return RunProcess({"sh", "-c", "command -v " + tool}, 10s).ExitCode == 0;
}

void ExpectTree(const std::string& root) {
  for (const std::string& file : ExpectedFiles()) {
    EXPECT_TRUE(fs::is_regular_file(root + "/" + file)) << file;
  }
  for (const char* program : {"bin/quillbright", "bin/quillbrightd"}) {
    EXPECT_EQ(::access((root + "/" + program).c_str(), X_OK), 0) << program;
  }
  for (int size : kIconSizes) {
    std::string side = std::to_string(size);
    EXPECT_EQ(PngSize(root + "/share/icons/hicolor/" + side + "x" + side + "/apps/quillbright.png"),
              std::make_pair(size, size));
  }
  for (const char* list : {"vlist.txt", "attlist.txt", "dnsbl.txt"}) {
    EXPECT_EQ(ReadWholeFile(root + "/share/quillbright/" + list),
              ReadWholeFile(kSourceTree + "/data/" + list))
        << list;
  }
}

TEST(InstalledProgram, AnInstallIntoATemporaryPrefixLeavesAValidTreeThatRuns) {
  TempFolder prefix("qb-prefix");
  std::string root = prefix.Path().string();
  ProcessResult install = Install(root);
  ASSERT_TRUE(Succeeds(install)) << Report(install);
  ExpectTree(root);
  EXPECT_NE(ReadWholeFile(root + "/lib/systemd/user/quillbrightd.service")
                .value_or("")
                .find("\nExecStart=" + root + "/bin/quillbrightd\n"),
            std::string::npos);

  struct Check {
    const char* tool;
    std::vector<std::string> command;
    Environment environment;
  };
  TempFolder runtime("qb-runtime");
  const Check checks[] = {
      {"desktop-file-validate",
       {"desktop-file-validate", root + "/share/applications/quillbright.desktop"},
       {}},
      {"appstreamcli",
       {"appstreamcli", "validate", "--no-net",
        root + "/share/metainfo/example.quillbright.Quillbright.metainfo.xml"},
       {}},
      // As a user unit; verify also checks that ExecStart names an existing
      // executable and looks the Documentation= page up with man, here in
      // the installed pages.
      {"systemd-analyze",
       {"systemd-analyze", "--user", "verify", root + "/lib/systemd/user/quillbrightd.service"},
       {{"XDG_RUNTIME_DIR", runtime.Path().string()}, {"MANPATH", root + "/share/man"}}},
  };
  for (const Check& check : checks) {
    if (!Have(check.tool)) {
      std::cout << check.tool << " is not installed: not checked\n";
      continue;
    }
    ProcessResult result = RunProcess(check.command, 60s, check.environment);
    EXPECT_TRUE(Succeeds(result)) << check.tool << ": " << Report(result);
    EXPECT_EQ(result.Errors.find("rror"), std::string::npos)
        << check.tool << ": " << Report(result);
  }
  for (const char* page : {"quillbright.1.gz", "quillbrightd.1.gz"}) {
    ProcessResult render = RunProcess(
        {"sh", "-c", "zcat " + root + "/share/man/man1/" + page + " | groff -man -ww -z -Tutf8"},
        30s);
    EXPECT_TRUE(Succeeds(render) && render.Errors.empty()) << page << ": " << Report(render);
  }

  for (const char* program : {"quillbright", "quillbrightd"}) {
    ProcessResult version = RunProcess({root + "/bin/" + program, "--version"}, 10s);
    EXPECT_EQ(version.Output, std::string(program) + " " + kProgramVersion + "\n")
        << Report(version);
    ProcessResult help = RunProcess({root + "/bin/" + program, "--help"}, 10s);
    EXPECT_TRUE(help.Output.starts_with(std::string("Usage: ") + program)) << Report(help);
  }
}

TEST(InstalledProgram, DestdirStandsInFrontOfEveryPathWhileTheUnitNamesThePrefix) {
  TempFolder stage("qb-destdir");
  std::string destdir = stage.Path().string();
  ProcessResult install = Install("/usr", destdir);
  ASSERT_TRUE(Succeeds(install)) << Report(install);
  ExpectTree(destdir + "/usr");
  EXPECT_NE(ReadWholeFile(destdir + "/usr/lib/systemd/user/quillbrightd.service")
                .value_or("")
                .find("\nExecStart=/usr/bin/quillbrightd\n"),
            std::string::npos);
  for (const fs::directory_entry& top : fs::directory_iterator(destdir)) {
    EXPECT_EQ(top.path().filename(), "usr") << "nothing outside the prefix";
  }
}

TEST(InstalledProgram, TheAutostartEntryIsValidForAnyExecutablePath) {
  if (!Have("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
  TempFolder folder("qb-autostart-entry");
  for (const char* executable :
       {"/usr/bin/quillbright", "/opt/Quill Bright/quillbright", "/opt/a\"b$c`d\\e/quillbright",
        "/home/bob/100% mine/it's (here)/quillbright"}) {
    std::string entry = folder.File("quillbright.desktop");
    ASSERT_TRUE(WriteFileAtomically(entry, AutostartEntryText(executable)));
    ProcessResult result = RunProcess({"desktop-file-validate", entry}, 30s);
    EXPECT_TRUE(Succeeds(result) && result.Output.empty()) << executable << ": " << Report(result);
  }
}

class DebianPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder("qb-package");
    ProcessResult cpack = RunProcess(
        {"cpack", "--config", kBuildTree + "/CPackConfig.cmake", "-B", folder_->Path().string()},
        600s);
    ASSERT_TRUE(Succeeds(cpack)) << Report(cpack);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_->Path())) {
      if (entry.path().extension() == ".deb") package_ = entry.path().string();
    }
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override { ASSERT_FALSE(package_.empty()) << "cpack made no .deb"; }

  static std::string Field(const std::string& info, const std::string& name) {
    std::size_t at = info.find("\n " + name + ": ");
    if (at == std::string::npos) return "";
    at += name.size() + 4;
    return info.substr(at, info.find('\n', at) - at);
  }

  static inline TempFolder* folder_ = nullptr;
  static inline std::string package_;
};

TEST_F(DebianPackage, HoldsTheTreeAsRootWithComputedDependenciesAndTheSetcapStep) {
  EXPECT_EQ(fs::path(package_).filename().string().rfind(
                std::string("quillbright_") + kProgramVersion + "_", 0),
            0u)
      << package_;
  ProcessResult info = RunProcess({"dpkg-deb", "-I", package_}, 30s);
  ASSERT_TRUE(Succeeds(info)) << Report(info);
  EXPECT_EQ(Field(info.Output, "Package"), "quillbright");
  EXPECT_EQ(Field(info.Output, "Version"), kProgramVersion);
  std::string depends = Field(info.Output, "Depends");
  for (const char* library :
       {"libc6", "libstdc++6", "libqt6widgets6", "libcurl4", "libssl3", "libcap2-bin"}) {
    EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
  }

  ProcessResult contents = RunProcess({"dpkg-deb", "-c", package_}, 30s);
  ASSERT_TRUE(Succeeds(contents)) << Report(contents);
  for (const std::string& file : ExpectedFiles()) {
    EXPECT_NE(contents.Output.find(" ./usr/" + file + "\n"), std::string::npos) << file;
  }
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = contents.Output.find('\n', at)) != std::string::npos; ++at)
    ++lines;
  std::size_t rootOwned = 0;
  for (std::size_t at = 0; (at = contents.Output.find(" root/root ", at)) != std::string::npos;
       ++at) {
    ++rootOwned;
  }
  EXPECT_EQ(rootOwned, lines) << contents.Output;

  TempFolder control("qb-control");
  ASSERT_TRUE(Succeeds(RunProcess({"dpkg-deb", "-e", package_, control.File("DEBIAN")}, 30s)));
  struct stat status {};
  ASSERT_EQ(::stat(control.File("DEBIAN/postinst").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0755u);
  // The post-install step run with a setcap that records its arguments:
  // setcap takes one set of rights per file, so each program is named with
  // its own.
  TempFolder tools("qb-setcap");
  std::string log = tools.File("calls");
  ASSERT_TRUE(WriteFileAtomically(tools.File("setcap"), "#!/bin/sh\necho \"$*\" >>" + log + "\n"));
  ::chmod(tools.File("setcap").c_str(), 0755);
  ProcessResult run =
      RunProcess({"sh", control.File("DEBIAN/postinst"), "configure"}, 30s,
                 {{"PATH", tools.Path().string() + ":" + std::string(std::getenv("PATH"))}});
  EXPECT_TRUE(Succeeds(run)) << Report(run);
  EXPECT_EQ(ReadWholeFile(log).value_or(""),
            "cap_net_bind_service=+ep /usr/bin/quillbright\n"
            "cap_net_bind_service=+ep /usr/bin/quillbrightd\n");
}

TEST_F(DebianPackage, LintianFindsNoError) {
  if (!fs::exists("/usr/bin/lintian")) GTEST_SKIP() << "lintian is not installed";
  ProcessResult lintian = RunProcess({"lintian", "--fail-on", "error", package_}, 600s);
  EXPECT_TRUE(Succeeds(lintian)) << Report(lintian);
  EXPECT_EQ(lintian.Output.find("\nE: "), std::string::npos) << lintian.Output;
}

TEST_F(DebianPackage, ItsQuillbrightdFillsAnEmptyDataHomeAndScreensAFetchmailPoll) {
  TempFolder root("qb-unpacked");
  ProcessResult unpack = RunProcess({"dpkg", "-x", package_, root.Path().string()}, 60s);
  ASSERT_TRUE(Succeeds(unpack)) << Report(unpack);
  std::string usr = root.Path().string() + "/usr";

  DovecotServer dovecot;
  const std::string good1 = "From: friend@example.org\r\nSubject: one\r\n\r\nfirst\r\n";
  const std::string blocked = "From: pills@spam.example\r\nSubject: two\r\n\r\nbuy\r\n";
  const std::string good2 = "From: colleague@example.org\r\nSubject: three\r\n\r\nthird\r\n";
  for (const std::string* message : {&good1, &blocked, &good2})
    dovecot.AddMessage("alice", *message);
  dovecot.Start();

  // A user who already has a sender list of their own and no block-list
  // zone: both stay, the other shipped lists are copied in.
  TempFolder user("qb-user");
  std::string data = user.MakeFolder("data/quillbright") + "/";
  ASSERT_TRUE(WriteFileAtomically(data + "senlist.txt", "pills@spam.example\r\n"));
  ASSERT_TRUE(WriteFileAtomically(data + "dnsbl.txt", ""));
  QuillbrightdProcess daemon(
      "", {{"XDG_DATA_HOME", user.Path().string() + "/data"}, {"HOME", user.MakeFolder("home")}},
      usr + "/bin/quillbrightd");
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;

  FetchmailResult fetched =
      RunFetchmail({.User = "alice#127.0.0.1:" + std::to_string(dovecot.Port()),
                    .Password = "secret",
                    .Port = daemon.Port(),
                    .Keep = true},
                   90s);
  ProcessResult end = daemon.Stop(SIGTERM);
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  ASSERT_EQ(fetched.Delivered.size(), 2u) << Report(fetched.Process) << end.Errors;
  EXPECT_TRUE(fetched.Delivered[0].ends_with(good1)) << fetched.Delivered[0];
  EXPECT_TRUE(fetched.Delivered[1].ends_with(good2)) << fetched.Delivered[1];
  EXPECT_EQ(dovecot.Messages("alice"), (std::vector<std::string>{good1, good2}));

  EXPECT_EQ(ReadWholeFile(data + "vlist.txt"), ReadWholeFile(usr + "/share/quillbright/vlist.txt"));
  EXPECT_EQ(ReadWholeFile(data + "senlist.txt"), "pills@spam.example\r\n");
  EXPECT_EQ(ReadWholeFile(data + "dnsbl.txt"), "");
  EXPECT_NE(end.Errors.find("Quillbright " + std::string(kProgramVersion) + ": program folder " +
                            data + "; port " + std::to_string(daemon.Port()) +
                            "; list files found: vlist.txt, attlist.txt, sublist.txt, senlist.txt, "
                            "reclist.txt, dnsbl.txt; copied from the shipped lists in " +
                            usr + "/share/quillbright/: "),
            std::string::npos)
      << end.Errors;
}

}  // namespace
}  // namespace qb::test
