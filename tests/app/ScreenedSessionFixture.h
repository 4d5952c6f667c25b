// A main window's logic with its gateway on a loopback port, a scripted POP3
// server behind it, and mail clients that run on threads of their own while
// the test turns the message loop.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

#include "RecordingWindow.h"
#include "app/Unit1.h"
#include "screening/Decisions.h"
#include "screening/ListFile.h"
#include "support/ClientThread.h"
#include "support/PlainPop3Client.h"
#include "support/PumpUntil.h"
#include "support/RecordingDialogs.h"
#include "support/ScriptedPop3Server.h"
#include "support/TempFolder.h"
#include "support/ZoneResolver.h"

namespace qb::test {

// The count of message lines of a listing the client got (0 without one).
inline int MessageLines(const std::optional<std::string>& listing) {
  if (!listing || !listing->starts_with("+OK")) return 0;
  return static_cast<int>(std::count(listing->begin(), listing->end(), '\n')) - 2;
}

class ScreenedSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.State.ProgramFolder = folder.Path().string() + "/";
    form.MailGateway1.Port = "0";
    ASSERT_EQ(form.MailGateway1.Open(), "");
  }
  void TearDown() override {
    form.MailGateway1.Close();
    MessageLoop::Instance().ProcessMessages();
  }

  std::uint16_t GatewayPort() {
    return static_cast<std::uint16_t>(form.MailGateway1.ListenSocket().BoundPort());
  }
  std::string Account() const { return "alice#127.0.0.1:" + std::to_string(server.Port()); }
  // The marker file of the test account, as the scan names it.
  std::string MarkerFile() const {
    return form.State.ProgramFolder + MakeUidFileStem(Account()) + ".UID";
  }
  // The decisions file of the test account.
  std::string DecisionsPath() const {
    return DecisionsFile(form.State.ProgramFolder, MakeUidFileStem(Account()));
  }
  // Logs a client in through the gateway.
  bool LogIn(PlainPop3Client& client) {
    if (!client.ReadLine()) return false;
    return client.Command("USER " + Account()).starts_with("+OK") &&
           client.Command("PASS secret").starts_with("+OK");
  }
  bool ScanReady() { return form.Controls.Button1Enabled; }
  // A client that asks for the list and leaves once the review is ready,
  // before anything is decided; whether the scan came and the client left.
  bool ListAndLeaveBeforeTheDecision() {
    Gate leave;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (LogIn(pop)) pop.SendLine("LIST");
      leave.Wait();
    });
    bool scanned = PumpUntil([&] { return ScanReady(); }, std::chrono::seconds(10));
    leave.Open();
    return client.Finish() && scanned;
  }
  static std::string Message(const std::string& headers) {
    return headers + "\r\n\r\nThe body.\r\n";
  }

  TempFolder folder;
  RecordingPopup popup;
  RecordingTray tray;
  ZoneResolver resolver;  // no relay address is listed
  RecordingDialogs dialogs;
  TForm1 form{popup, tray, resolver};
  ScriptedPop3Server server;
};

}  // namespace qb::test
