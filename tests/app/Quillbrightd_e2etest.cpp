// quillbrightd as a user runs it, between a real fetchmail and a real
// Dovecot: a blocked sender's message is deleted on the server, the others
// arrive unchanged, and SIGTERM ends the program with status 0.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "platform/FileStore.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/QuillbrightdProcess.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string Message(const std::string& from, int i) {
  std::string text = "From: " + from + "\r\nTo: alice@example.org\r\nSubject: message " +
                     std::to_string(i) + "\r\nMessage-ID: <" + std::to_string(i) +
                     "@example.org>\r\n\r\n";
  for (int line = 0; line < 150 * i; ++line) {
    text += (line % 13 == 0 ? "." : "") + std::string("line ") + std::to_string(line) +
            " of the body\r\n";
  }
  return text;
}

TEST(QuillbrightdRealPeers, FetchmailGetsTheGoodMailWhileTheBlockedSendersIsDeletedOnTheServer) {
  ASSERT_TRUE(std::filesystem::exists(QuillbrightdProgram()))
      << "build the quillbrightd target: " << QuillbrightdProgram();

  DovecotServer dovecot;
  std::vector<std::string> good = {Message("Friend <friend@example.org>", 1),
                                   Message("colleague@example.org", 3)};
  dovecot.AddMessage("alice", good[0]);
  dovecot.AddMessage("alice", Message("Pusher <pills@spam.example>", 2));
  dovecot.AddMessage("alice", good[1]);
  dovecot.Start();

  TempFolder home("qb-e2e-home");
  for (const char* name : {"vlist.txt", "sublist.txt", "reclist.txt"}) {
    ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
  }
  ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), "pills@spam.example\r\n"));
  QuillbrightdProcess daemon(home.Path().string());
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;

  std::string account = "alice#127.0.0.1:" + std::to_string(dovecot.Port());
  Fetchmail fetchmail({.User = account, .Password = "secret", .Port = daemon.Port(), .Keep = true});
  ProcessResult fetched = fetchmail.Run(90s);
  EXPECT_FALSE(fetched.TimedOut) << fetched.Errors;
  std::vector<std::string> delivered = fetchmail.Delivered();
  ASSERT_EQ(delivered.size(), good.size()) << fetched.Errors << fetched.Output;
  for (std::size_t i = 0; i < good.size(); ++i) {
    EXPECT_TRUE(delivered[i].ends_with(good[i])) << "message " << i << " arrived changed";
  }
  EXPECT_EQ(dovecot.Messages("alice"), good) << "only the blocked sender's message is deleted";

  ProcessResult end = daemon.Stop(SIGTERM);
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  EXPECT_NE(end.Errors.find("quillbrightd: " + account + ": 3 messages scanned, 1 ticked"),
            std::string::npos)
      << end.Errors;
}

}  // namespace
}  // namespace qb::test
