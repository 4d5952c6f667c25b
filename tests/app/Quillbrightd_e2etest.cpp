// quillbrightd as a user runs it, between real mail clients (fetchmail, mpop,
// getmail) and a real Dovecot: a blocked sender's message in the middle of
// the mailbox is deleted on the server before the client sees the list, so
// every client finishes its poll normally, gets the other messages
// unchanged, and never the blocked one; several accounts polled at the same
// time are each screened against their own marker. SIGTERM ends the program
// with status 0.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "platform/FileStore.h"
#include "screening/ScreeningState.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/PlainPop3Client.h"
#include "support/QuillbrightdProcess.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kBlocked = "pills@spam.example";

std::string Message(const std::string& from, const std::string& user, int i) {
  std::string text = "From: " + from + "\r\nTo: " + user + "@example.org\r\nSubject: message " +
                     std::to_string(i) + "\r\nMessage-ID: <" + user + std::to_string(i) +
                     "@example.org>\r\n\r\n";
  for (int line = 0; line < 150 * i; ++line) {
    text += (line % 13 == 0 ? "." : "") + std::string("line ") + std::to_string(line) +
            " of the body\r\n";
  }
  return text;
}

// mpop and getmail store what they deliver with LF line ends.
std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

using ClientFactory = std::function<std::unique_ptr<MailClientRun>(MailClientOptions)>;

struct Client {
  const char* Name;
  ClientFactory Make;
  bool StoresCrLf;  // mpop and getmail store LF line ends; fetchmail the bytes as they came
};

const Client kClients[] = {
    {"fetchmail", [](MailClientOptions o) { return std::make_unique<Fetchmail>(std::move(o)); },
     true},
    {"mpop", [](MailClientOptions o) { return std::make_unique<Mpop>(std::move(o)); }, false},
    {"getmail", [](MailClientOptions o) { return std::make_unique<Getmail>(std::move(o)); }, false},
};

class QuillbrightdRealPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(QuillbrightdProgram()))
        << "build the quillbrightd target: " << QuillbrightdProgram();
    for (const Client& client : kClients) {
      std::string user = client.Name;
      good[user] = {Message("Friend <friend@example.org>", user, 1),
                    Message("colleague@example.org", user, 3)};
      dovecot.AddMessage(user, good[user][0]);
      dovecot.AddMessage(user, Message("Pusher <" + std::string(kBlocked) + ">", user, 2));
      dovecot.AddMessage(user, good[user][1]);
    }
    dovecot.Start();
    for (const char* name : {"vlist.txt", "sublist.txt", "reclist.txt"}) {
      ASSERT_TRUE(WriteFileAtomically(home.File(name), ""));
    }
    ASSERT_TRUE(WriteFileAtomically(home.File("senlist.txt"), std::string(kBlocked) + "\r\n"));
  }
  static DovecotOptions Users() {
    DovecotOptions options;
    options.Users.clear();
    for (const Client& client : kClients) options.Users[client.Name] = "secret";
    return options;
  }
  std::string Account(const std::string& user) const {
    return user + "#127.0.0.1:" + std::to_string(dovecot.Port());
  }
  MailClientOptions Options(const std::string& user, std::uint16_t port) const {
    return {.User = Account(user), .Password = "secret", .Port = port, .Keep = true};
  }
  // The UID Dovecot gives the user's last message.
  std::string LastUid(const std::string& user) {
    PlainPop3Client pop(dovecot.Port());
    if (!pop.LogIn(user, "secret")) return "";
    std::string uidl = pop.MultiLineCommand("UIDL").value_or("");
    std::size_t end = uidl.rfind("\r\n.\r\n");
    std::size_t begin = uidl.rfind(' ', end);
    return end == std::string::npos || begin == std::string::npos
               ? ""
               : uidl.substr(begin + 1, end - begin - 1);
  }
  void ExpectScreened(const Client& client, const MailClientRun& run, const ProcessResult& result) {
    std::string user = client.Name;
    SCOPED_TRACE(user);
    EXPECT_FALSE(result.TimedOut) << result.Errors;
    EXPECT_EQ(result.ExitCode, 0) << result.Output << result.Errors;
    std::vector<std::string> delivered = run.Delivered();
    ASSERT_EQ(delivered.size(), good[user].size()) << result.Output << result.Errors;
    for (std::size_t i = 0; i < delivered.size(); ++i) {
      std::string expected = client.StoresCrLf ? good[user][i] : WithoutCr(good[user][i]);
      EXPECT_TRUE(delivered[i].ends_with(expected)) << "message " << i << " arrived changed:\n"
                                                    << delivered[i];
      EXPECT_EQ(delivered[i].find(kBlocked), std::string::npos);
    }
    EXPECT_EQ(dovecot.Messages(user), good[user]) << "only the blocked sender's message is deleted";
    EXPECT_EQ(ReadWholeFile(home.File(MakeUidFileStem(Account(user)) + ".UID")),
              LastUid(user) + "\r\n")
        << "the account's own marker names its last message";
  }

  DovecotServer dovecot{Users()};
  TempFolder home{"qb-e2e-home"};
  std::map<std::string, std::vector<std::string>> good;
};

TEST_F(QuillbrightdRealPeers, EveryClientFinishesItsPollWithoutTheBlockedMessage) {
  QuillbrightdProcess daemon(home.Path().string());
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
  for (const Client& client : kClients) {
    std::unique_ptr<MailClientRun> run = client.Make(Options(client.Name, daemon.Port()));
    ProcessResult result = run->Run(90s);
    ExpectScreened(client, *run, result);
  }
  ProcessResult end = daemon.Stop(SIGTERM);
  EXPECT_EQ(end.ExitCode, 0) << end.Errors;
  for (const Client& client : kClients) {
    EXPECT_NE(
        end.Errors.find("quillbrightd: " + Account(client.Name) + ": 3 messages scanned, 1 ticked"),
        std::string::npos)
        << end.Errors;
  }
}

TEST_F(QuillbrightdRealPeers, ClientsOfSeveralAccountsPollingAtOnceAreEachScreened) {
  QuillbrightdProcess daemon(home.Path().string());
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
  std::vector<std::unique_ptr<MailClientRun>> runs;
  std::vector<std::unique_ptr<ChildProcess>> started;
  for (const Client& client : kClients) {
    runs.push_back(client.Make(Options(client.Name, daemon.Port())));
    started.push_back(runs.back()->Start());
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    ProcessResult result = started[i]->Wait(120s);
    ExpectScreened(kClients[i], *runs[i], result);
  }
  EXPECT_EQ(daemon.Stop(SIGTERM).ExitCode, 0);
}

}  // namespace
}  // namespace qb::test
