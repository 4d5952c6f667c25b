// What the programs say at start: the command-line requests, the start log
// line, and a listener that could not be opened, in words with the ways out.
#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/StartMessages.h"
#include "app/Version.h"
#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

TEST(CommandLine, OnlyTheFirstArgumentAsksForHelpOrTheVersion) {
  struct Case {
    std::vector<std::string> arguments;
    TCommandLineRequest request;
  };
  const Case cases[] = {
      {{}, TCommandLineRequest::crStart},
      {{"-shortcut"}, TCommandLineRequest::crStart},
      {{"--help"}, TCommandLineRequest::crHelp},
      {{"-h", "--version"}, TCommandLineRequest::crHelp},
      {{"--version"}, TCommandLineRequest::crVersion},
      {{"-V"}, TCommandLineRequest::crVersion},
      {{"-shortcut", "--help"}, TCommandLineRequest::crStart},
      {{"--HELP"}, TCommandLineRequest::crStart},
      {{"--version "}, TCommandLineRequest::crStart},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CommandLineRequest(c.arguments), c.request)
        << (c.arguments.empty() ? "(none)" : c.arguments.front());
  }
  EXPECT_EQ(VersionText("quillbrightd"), std::string("quillbrightd ") + kProgramVersion + "\n");
  for (const std::string& help : {HeadlessHelpText(), DesktopHelpText()}) {
    for (const char* part : {"Usage: ", "--version", "QUILLBRIGHT_POP3_PORT", "setcap"}) {
      EXPECT_NE(help.find(part), std::string::npos) << part;
    }
  }
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
