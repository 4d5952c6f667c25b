#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "RecordingWindow.h"
#include "app/ListUpdate.h"
#include "app/ProgramFolder.h"
#include "app/StartUp.h"
#include "platform/FileStore.h"
#include "platform/MessageLoop.h"
#include "support/ClientThread.h"
#include "support/LoopbackSockets.h"
#include "support/PlainPop3Client.h"
#include "support/ProgramEnvironment.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/TempFolder.h"
#include "support/ZoneResolver.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

class StartUp : public ::testing::Test {
 protected:
  void TearDown() override { MessageLoop::Instance().ProcessMessages(); }

  void WriteLists(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      ASSERT_TRUE(WriteFileAtomically(home.File(name), std::string("entry of ") + name + "\r\n"));
    }
  }
  // Whether the gateway greets a client on the port (the loop is turned meanwhile).
  static bool Greets(std::uint16_t port) {
    std::optional<std::string> greeting;
    {
      ClientThread client([&] {
        PlainPop3Client pop(port);
        if (pop.Connected()) greeting = pop.ReadLine(5s);
      });
      client.Finish(10s);
    }  // joined
    return greeting && greeting->starts_with("+OK POP3 Gateway ready");
  }

  TempFolder home{"qb-home"};
  std::uint16_t port = PickFreeLoopbackPort();
  ScopedProgramEnvironment environment{ProgramEnvironment(home.Path().string(), port)};
  RecordingDialogs dialogs;
  RecordingPopup popup;
  RecordingTray tray;
  ZoneResolver resolver;
};

TEST_F(StartUp, ProgramFolderIsTheHomeVariableWithItsSeparatorOrElseTheExecutablesFolder) {
  EXPECT_EQ(ProgramFolder(), home.Path().string() + "/");
  {
    ScopedVariable slashed("QUILLBRIGHT_HOME", home.Path().string() + "/");
    EXPECT_EQ(ProgramFolder(), home.Path().string() + "/");
  }
  ScopedVariable unset("QUILLBRIGHT_HOME", std::nullopt);
  // The test program's folder holds no vlist.txt, so it counts as installed:
  // the folder is the data home's.
  ScopedVariable dataHome("XDG_DATA_HOME", home.Path().string() + "/data");
  EXPECT_EQ(ProgramFolder(), home.Path().string() + "/data/quillbright/");
  EXPECT_EQ(ProgramFile("/opt/qb/", "vlist.txt"), "/opt/qb/vlist.txt");
  EXPECT_EQ(ProgramFile("/opt/qb", "vlist.txt"), "/opt/qb/vlist.txt");
}

TEST_F(StartUp, ThePortVariableMovesTheListenerAndItsAbsenceMeansPop3) {
  EXPECT_EQ(ListeningPort(), std::to_string(port));
  ScopedVariable empty("QUILLBRIGHT_POP3_PORT", "");
  EXPECT_EQ(ListeningPort(), "pop3");
  ScopedVariable unset("QUILLBRIGHT_POP3_PORT", std::nullopt);
  EXPECT_EQ(ListeningPort(), "pop3");
}

TEST_F(StartUp, OnlyAnExactShortcutShowsTheWindow) {
  EXPECT_TRUE(IsShortcutStart({"-shortcut"}));
  EXPECT_TRUE(IsShortcutStart({"-shortcut", "-shortcut"}));
  EXPECT_FALSE(IsShortcutStart({}));
  EXPECT_FALSE(IsShortcutStart({"-Shortcut"}));
  EXPECT_FALSE(IsShortcutStart({"-shortcut "}));

  {
    TApplication hidden(popup, tray, resolver);
    TForm1& form = hidden.Start({"-Shortcut"});
    EXPECT_EQ(hidden.Title, "Quillbright");
    EXPECT_FALSE(form.ShortcutStart);
    EXPECT_TRUE(tray.calls.empty());
  }
  TApplication shown(popup, tray, resolver);
  EXPECT_TRUE(shown.Start({"-shortcut"}).ShortcutStart);
  EXPECT_EQ(tray.calls, (std::vector<std::string>{"show"}));
}

TEST_F(StartUp, TheSetUpLoadsTheListsAndListensOnLoopbackWithTheFixedSettings) {
  WriteLists({"vlist.txt", "sublist.txt", "senlist.txt", "reclist.txt", "dnsbl.txt"});
  ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "a@x\r\n\r\nB@Y"));
  TApplication application(popup, tray, resolver);
  TForm1& form = application.Start({});
  EXPECT_TRUE(dialogs.MessageBoxes().empty()) << dialogs.MessageTexts()[0];
  EXPECT_EQ(form.State.ProgramFolder, home.Path().string() + "/");
  EXPECT_EQ(form.State.VirusList, (TextLines{"entry of vlist.txt"}));
  EXPECT_EQ(form.State.SubjectList, (TextLines{"entry of sublist.txt"}));
  EXPECT_EQ(form.State.SenderList, (TextLines{"a@x", "B@Y"})) << "an empty line matches nothing";
  EXPECT_EQ(form.State.RecipientList, (TextLines{"entry of reclist.txt"}));
  EXPECT_EQ(form.State.DnsblList, (TextLines{"entry of dnsbl.txt"}));
  EXPECT_FALSE(form.ExitRequested);
  EXPECT_FALSE(form.Controls.Button1Enabled);
  EXPECT_EQ(form.MailGateway1.Addr, "127.0.0.1");
  EXPECT_EQ(form.MailGateway1.MaxClients, 50);
  EXPECT_EQ(form.MailGateway1.DelimChar, '#');
  EXPECT_EQ(form.MailGateway1.GatewayType(), gtPop3);
  EXPECT_TRUE(form.MailGateway1.Active());
  EXPECT_TRUE(Greets(port));
}

TEST_F(StartUp, ListUpdatesAskOnlyAConfiguredListServerAndTheStatusBarSaysWhenThereIsNone) {
  struct Case {
    std::optional<std::string> address;
    bool asked;
  };
  for (const Case& c :
       {Case{std::nullopt, false}, Case{"", false}, Case{"http://mirror.lists.invalid/", false},
        Case{kUnservedUpdateUrl, true}}) {
    ScopedVariable address("QUILLBRIGHT_UPDATE_URL", c.address);
    TApplication application(popup, tray, resolver);
    TForm1& form = application.Start({});
    std::string label = c.address.value_or("(unset)");
    EXPECT_EQ(form.HTTPDownload1.URL.empty(), !c.asked) << label;
    EXPECT_EQ(form.HTTPDownload2.URL.empty(), !c.asked) << label;
    EXPECT_EQ(form.StatusBar1Text, c.asked ? "" : NoListServerText) << label;
    EXPECT_TRUE(form.MailGateway1.Active()) << label;
  }
  EXPECT_TRUE(resolver.Queries().empty());
}

// A fresh program folder is no error: missing block lists are made empty
// without a message. A missing virus list, or a block list that exists but
// cannot be read, is reported with its full path; dnsbl.txt never is.
TEST_F(StartUp, MissingListsAreReportedWithTheirFullPathAndTakenAsEmptyButDnsblSilently) {
  WriteLists({"senlist.txt"});
  std::filesystem::create_directory(home.File("reclist.txt"));  // exists, cannot be read
  TApplication application(popup, tray, resolver);
  TForm1& form = application.Start({});
  std::string folder = home.Path().string() + "/";
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{
                                        "Cannot open file " + folder + "vlist.txt",
                                        "Cannot open file " + folder + "reclist.txt",
                                    }));
  EXPECT_TRUE(form.State.VirusList.empty());
  EXPECT_EQ(form.State.SenderList, (TextLines{"entry of senlist.txt"}));
  EXPECT_EQ(ReadWholeFile(home.File("sublist.txt")), "") << "made empty, silently";
  EXPECT_TRUE(form.State.DnsblList.empty());
  EXPECT_TRUE(Greets(port)) << "start-up goes on to open the gateway";
}

// An installed program whose data home cannot be made says so first, then
// what that leaves missing, and still listens.
TEST_F(StartUp, ADataHomeThatCannotBeMadeIsReportedAndStartUpGoesOn) {
  ScopedVariable unset("QUILLBRIGHT_HOME", std::nullopt);
  ASSERT_TRUE(WriteFileAtomically(home.File("data"), ""));
  ScopedVariable dataHome("XDG_DATA_HOME", home.File("data"));
  TApplication application(popup, tray, resolver);
  TForm1& form = application.Start({});
  std::string folder = home.File("data") + "/quillbright/";
  EXPECT_EQ(form.State.ProgramFolder, folder);
  std::vector<std::string> texts = dialogs.MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(texts[0].starts_with("Quillbright cannot prepare its program folder " + folder +
                                   ": cannot create " + folder))
      << texts[0];
  EXPECT_EQ(texts[1], "Cannot open file " + folder + "vlist.txt");
  EXPECT_TRUE(Greets(port));
}

TEST_F(StartUp, APortThatIsTakenShowsTheGatewaysErrorAndStartUpGoesOn) {
  WriteLists({"vlist.txt", "sublist.txt", "senlist.txt", "reclist.txt"});
  std::uint16_t taken = 0;
  UniqueFd occupant = ListenOnLoopback(taken);
  ScopedVariable takenPort("QUILLBRIGHT_POP3_PORT", std::to_string(taken));
  TApplication application(popup, tray, resolver);
  TForm1& form = application.Start({});
  ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
  EXPECT_NE(dialogs.MessageTexts()[0].find("Error 10048"), std::string::npos)
      << dialogs.MessageTexts()[0];
  EXPECT_TRUE(dialogs.MessageTexts()[0].starts_with("Quillbright cannot listen on port " +
                                                    std::to_string(taken) + ", because another"))
      << dialogs.MessageTexts()[0];
  EXPECT_FALSE(form.MailGateway1.Active());
  EXPECT_EQ(form.State.VirusList, (TextLines{"entry of vlist.txt"}));
}

TEST_F(StartUp, ClosingWithoutExitOnlyHidesAndOnlyExitCallsTheProgramsQuit) {
  int quits = 0;
  TApplication application(popup, tray, resolver, [&] { ++quits; });
  TForm1& form = application.Start({});
  EXPECT_FALSE(form.Close());
  EXPECT_EQ(tray.calls, (std::vector<std::string>{"hide"}));
  EXPECT_EQ(quits, 0);
  EXPECT_TRUE(Greets(port));
  form.ExitRequested = true;
  EXPECT_TRUE(form.Close());
  EXPECT_EQ(quits, 1);
}

TEST_F(StartUp, ExitClosesTheListenerFreesTheListsAndEndsTheLoopWithStatusZero) {
  WriteLists({"vlist.txt", "sublist.txt", "senlist.txt", "reclist.txt", "dnsbl.txt"});
  TApplication application(popup, tray, resolver);
  TForm1& form = application.Start({});
  ASSERT_TRUE(Greets(port));
  HWND exitLater = MessageLoop::Instance().CreateWindow([&](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == WM_USER) {
      form.ExitRequested = true;
      EXPECT_TRUE(form.Close());
    }
    return LRESULT{0};
  });
  MessageLoop::Instance().PostMessage(exitLater, WM_USER);
  EXPECT_EQ(application.Run(), 0);
  MessageLoop::Instance().DestroyWindow(exitLater);
  EXPECT_TRUE(tray.calls.empty());
  EXPECT_FALSE(form.MailGateway1.Active());
  EXPECT_TRUE(form.State.VirusList.empty());
  EXPECT_TRUE(form.State.DnsblList.empty());
  EXPECT_FALSE(ConnectToLoopback(port).Valid()) << "the listener is closed";
}

}  // namespace
}  // namespace qb::test
