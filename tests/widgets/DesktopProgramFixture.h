// The desktop program as the GUI tests build it: TDesktopProgram on Qt's
// offscreen platform with a private program folder, a scripted POP3 server
// behind the gateway (three messages, one from a blocked sender) and mail
// clients on threads of their own.
#pragma once

#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QMenuBar>
#include <QTest>
#include <memory>
#include <optional>

#include "GuiTestSupport.h"
#include "platform/FileStore.h"
#include "support/ClientThread.h"
#include "support/LoopbackSockets.h"
#include "support/PlainPop3Client.h"
#include "support/ProgramEnvironment.h"
#include "support/RecordingDialogs.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"
#include "widgets/DesktopProgram.h"

namespace qb::test {

using namespace std::chrono_literals;

class NoResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {}; }
};

inline std::string Message(const std::string& headers, int bodyLines) {
  std::string text = headers + "\r\n\r\n";
  for (int i = 0; i < bodyLines; ++i) text += "a line of the body\r\n";
  return text;
}

// A mail client's session up to the LIST reply, which waits for "Remove
// Checked"; then QUIT.
class ListingClient {
 public:
  ListingClient(std::uint16_t port, std::string account)
      : thread_([this, port, account = std::move(account)] {
          PlainPop3Client client(port);
          if (client.ReadLine() && client.Command("USER " + account).starts_with("+OK") &&
              client.Command("PASS secret").starts_with("+OK") && client.SendLine("LIST")) {
            listing = client.ReadMultiLine(30s).value_or("");
            client.Command("QUIT");
          }
        }) {}
  bool Done() const { return thread_.Done(); }
  std::string listing;  // read only once done

 private:
  ClientThread thread_;
};

class DesktopProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiLoopBridge();
    for (const char* name : {"vlist.txt", "sublist.txt", "reclist.txt"}) {
      ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
    }
    ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "pills@spam.example\r\n"));
    ASSERT_TRUE(WriteFileAtomically(home.File("options.txt"), "N\r\n"));  // no setup prompt
    port = PickFreeLoopbackPort();
    environment.emplace(ProgramEnvironment(home.Path().string(), port));
    server.AddMessage(Message("From: friend@example.org\r\nSubject: Zebra notes", 5));
    server.AddMessage(Message("From: Pusher <pills@spam.example>\r\nSubject: cheap & more", 1));
    server.AddMessage(Message("From: Anna@example.org\r\nSubject: big photos", 60));
  }
  void TearDown() override {
    program.reset();
    MessageLoop::Instance().ProcessMessages();
  }

  TForm1& Start(bool trayAvailable = true, const std::vector<std::string>& arguments = {}) {
    program =
        std::make_unique<TDesktopProgram>(resolver, [trayAvailable] { return trayAvailable; });
    return program->Start(arguments);
  }
  // The main menu's item, "Options/Blocked Senders (From: field)…" for one
  // of a submenu; captions without their mnemonic marks.
  QAction* MenuItem(const QString& path) {
    QList<QAction*> items = Window().menuBar()->actions();
    QAction* found = nullptr;
    for (const QString& caption : path.split('/')) {
      found = nullptr;
      for (QAction* item : items) {
        if (QString(item->text()).remove('&') == caption) found = item;
      }
      if (!found) break;
      if (found->menu()) items = found->menu()->actions();
    }
    EXPECT_NE(found, nullptr) << path.toStdString();
    return found;
  }
  std::string Account() const { return "alice#127.0.0.1:" + std::to_string(server.Port()); }
  TMainWindow& Window() { return program->Window(); }
  bool ScanShown() {
    return PumpQtUntil([&] { return Window().Button1().isEnabled(); });
  }
  QVariant Cell(int row, int column, int role = Qt::DisplayRole) {
    QAbstractItemModel& model = Window().Model();
    return model.data(model.index(row, column), role);
  }
  std::vector<std::string> FromColumn() {
    std::vector<std::string> texts;
    for (int row = 0; row < Window().Model().rowCount(); ++row) {
      texts.push_back(Cell(row, 0).toString().toStdString());
    }
    return texts;
  }
  void ClickHeader(int column) {
    QHeaderView* header = Window().ReviewListView1().horizontalHeader();
    int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }

  TempFolder home{"qb-gui-home"};
  std::uint16_t port = 0;
  std::optional<ScopedProgramEnvironment> environment;
  NoResolver resolver;
  RecordingDialogs dialogs;
  ScriptedPop3Server server;
  std::unique_ptr<TDesktopProgram> program;
};

}  // namespace qb::test
