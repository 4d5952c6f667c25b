// What the programs say at start: the command-line requests, the start log
// line, and a listener that could not be opened, in words with the ways out.
#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"
#include "app/StartMessages.h"
#include "app/Version.h"
#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

// The table of a program with an option of each kind, as the programs'
// tables grow: one value, a list of values.
std::vector<TOption> TestOptions(int& ran) {
  std::vector<TOption> options = DesktopOptions();
  options.push_back({"--sign-in", "", TOptionValues::ovOne, "ACCOUNT", "sign in", nullptr});
  options.push_back({"--learn", "", TOptionValues::ovList, "PATH", "learn",
                     [&ran](const std::vector<std::string>& values) {
                       ran = static_cast<int>(values.size());
                       return 7;
                     }});
  return options;
}

TEST(CommandLine, EveryArgumentIsAnOptionOfTheTableWithItsValues) {
  struct Case {
    std::vector<std::string> arguments;
    std::string fault;  // empty: parsed
    std::vector<std::string> signIn, learned;
  };
  const Case cases[] = {
      {{}, "", {}, {}},
      {{"-shortcut", "--help"}, "", {}, {}},
      {{"--sign-in", "a#b", "-shortcut"}, "", {"a#b"}, {}},
      {{"--sign-in=-x"}, "", {"-x"}, {}},
      {{"--learn", "p", "q", "--learn", "r", "-V"}, "", {}, {"p", "q", "r"}},
      {{"--learn=p", "q"}, "", {}, {"p", "q"}},
      {{"--sign-in", "x", "y"}, "unexpected argument 'y'", {}, {}},
      {{"--sign-out", "x"}, "unknown option '--sign-out'", {}, {}},
      {{"-shortcut", "--HELP"}, "unknown option '--HELP'", {}, {}},
      {{"--version "}, "unknown option '--version '", {}, {}},
      {{"x"}, "unexpected argument 'x'", {}, {}},
      {{"--sign-in"}, "option '--sign-in' needs a value (ACCOUNT)", {}, {}},
      {{"--sign-in", "--help"}, "option '--sign-in' needs a value (ACCOUNT)", {}, {}},
      {{"--learn", "-shortcut"}, "option '--learn' needs at least one value (PATH)", {}, {}},
      {{"--help=x"}, "option '--help' takes no value", {}, {}},
  };
  int ran = 0;
  const std::vector<TOption> options = TestOptions(ran);
  for (const Case& c : cases) {
    TCommandLine line = ParseCommandLine(options, c.arguments);
    std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
    EXPECT_EQ(line.Fault, c.fault) << shown;
    if (!c.fault.empty()) continue;
    EXPECT_EQ(line.Values("--sign-in"), c.signIn) << shown;
    EXPECT_EQ(line.Values("--learn"), c.learned) << shown;
  }
}

TEST(CommandLine, AFaultEndsWithStatusTwoAndOneLineHelpVersionAndTasksAnswerTheStart) {
  struct Case {
    std::vector<std::string> arguments;
    std::optional<int> status;
    std::string out, err;
  };
  const std::string version = VersionText("quillbright");
  const Case cases[] = {
      {{}, std::nullopt, "", ""},
      {{"-shortcut"}, std::nullopt, "", ""},
      {{"--help"}, 0, "HELP", ""},
      {{"-h", "--version"}, 0, "HELP", ""},
      {{"-V"}, 0, version, ""},
      {{"--learn", "a", "b"}, 7, "", ""},
      {{"--help", "--sign-in"},
       2,
       "",
       "quillbright: option '--sign-in' needs a value (ACCOUNT); see 'quillbright --help'\n"},
      {{"--sign-out", "x", "--help"},
       2,
       "",
       "quillbright: unknown option '--sign-out'; see 'quillbright --help'\n"},
  };
  int ran = 0;
  const std::vector<TOption> options = TestOptions(ran);
  for (const Case& c : cases) {
    std::ostringstream out, err;
    TCommandLine line = ParseCommandLine(options, c.arguments);
    EXPECT_EQ(AnswerCommandLine(line, "quillbright", "HELP", out, err), c.status);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
  EXPECT_EQ(ran, 2) << "the task got its values";
  EXPECT_EQ(version, std::string("quillbright ") + kProgramVersion + "\n");
  for (const std::string& help : {HeadlessHelpText(), DesktopHelpText()}) {
    for (const char* part : {"Usage: ", "-V, --version", "QUILLBRIGHT_POP3_PORT", "setcap"}) {
      EXPECT_NE(help.find(part), std::string::npos) << part;
    }
  }
  EXPECT_NE(DesktopHelpText().find("  -shortcut  "), std::string::npos);
}

TEST(StartLog, NamesTheFolderThePortAndTheListsFoundMissingAndCopied) {
  TempFolder folder("qb-start-log");
  std::string path = folder.Path().string() + "/";
  ASSERT_TRUE(WriteFileAtomically(path + "vlist.txt", ""));
  ASSERT_TRUE(WriteFileAtomically(path + "senlist.txt", ""));
  std::filesystem::create_directory(path + "dnsbl.txt");  // not a file: not found
  ListFilesPresence lists = FindListFiles(path);
  EXPECT_EQ(lists.Found, (std::vector<std::string>{"vlist.txt", "senlist.txt"}));
  EXPECT_EQ(lists.Missing,
            (std::vector<std::string>{"attlist.txt", "sublist.txt", "reclist.txt", "dnsbl.txt"}));

  ChosenProgramFolder chosen{.Folder = path, .Copied = {"vlist.txt"}, .Error = ""};
  std::string version = std::string("Quillbright ") + kProgramVersion + ": program folder ";
  EXPECT_EQ(
      StartLogLine(chosen, "/usr/share/quillbright/", "pop3", lists),
      version + path +
          "; port 110 (pop3); list files found: vlist.txt, senlist.txt; missing: "
          "attlist.txt, sublist.txt, reclist.txt, dnsbl.txt; copied from the shipped lists in "
          "/usr/share/quillbright/: vlist.txt");
  chosen.Copied.clear();
  EXPECT_EQ(StartLogLine(chosen, "/x/", "1110", {}),
            version + path + "; port 1110; list files found: none");
}

TEST(ListenFailure, ARightOrATakenPortIsSaidInWordsWithBothWaysOutAndTheErrorKept) {
  struct Case {
    std::string error;
    std::vector<std::string> says;  // empty: the error as it stands
  };
  const std::string denied = "Error 10013 in function bind\nPermission denied";
  const std::string taken = "Error 10048 in function bind\nAddress already in use";
  const Case cases[] = {
      {denied,
       {"cannot listen on port 110 (pop3)", "below 1024",
        "sudo setcap cap_net_bind_service=+ep /usr/bin/quillbright", "QUILLBRIGHT_POP3_PORT=1110",
        "mail client's POP3 port", denied}},
      {taken,
       {"another program listens there", "systemctl --user stop quillbrightd",
        "QUILLBRIGHT_POP3_PORT=1110", taken}},
      {"Error 10049 in function bind\nCannot assign requested address", {}},
      {"Error 100130 in function bind", {}},
      {"Cannot resolve pop3", {}},
  };
  for (const Case& c : cases) {
    std::string text = ListenFailureText(c.error, "pop3", "/usr/bin/quillbright");
    if (c.says.empty()) {
      EXPECT_EQ(text, c.error);
      continue;
    }
    EXPECT_TRUE(text.ends_with(c.error)) << text;
    for (const std::string& part : c.says) EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace qb::test
