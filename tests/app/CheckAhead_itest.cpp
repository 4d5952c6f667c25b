// Checking ahead: a login the server accepted makes its account known (the
// password in the secret store only), and a check shows the account's new
// messages for review with no mail client connected; the mail client that
// comes afterwards finds the decision carried out.
#include "app/CheckAhead.h"

#include <gtest/gtest.h>

#include <map>

#include "ScreenedSessionFixture.h"
#include "platform/FileStore.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

// A secret store in memory that answers from a posted message, as the real
// one does.
class MemorySecrets : public ISecretStore {
 public:
  MemorySecrets() {
    window_ = MessageLoop::Instance().CreateWindow([this](std::uint32_t, WPARAM, LPARAM) {
      std::deque<std::function<void()>> answers;
      answers.swap(answers_);
      for (auto& answer : answers) answer();
      return LRESULT{0};
    });
  }
  ~MemorySecrets() override { MessageLoop::Instance().DestroyWindow(window_); }
  void Store(const std::string& account, const std::string& password,
             std::function<void(bool)> done) override {
    kept[account] = password;
    Answer([done] { done(true); });
  }
  void Lookup(const std::string& account,
              std::function<void(std::optional<std::string>)> done) override {
    auto found = kept.find(account);
    std::optional<std::string> password =
        found == kept.end() ? std::nullopt : std::optional(found->second);
    Answer([done, password] { done(password); });
  }
  std::map<std::string, std::string> kept;

 private:
  void Answer(std::function<void()> answer) {
    answers_.push_back(std::move(answer));
    MessageLoop::Instance().PostMessage(window_, WM_USER);
  }
  HWND window_ = 0;
  std::deque<std::function<void()>> answers_;
};

class CheckAhead : public ScreenedSessionTest {
 protected:
  std::optional<std::string> ListAndQuit() {
    std::optional<std::string> list;
    ClientThread client([&] {
      PlainPop3Client pop(GatewayPort());
      if (!LogIn(pop)) return;
      list = pop.MultiLineCommand("LIST", 20s);
      pop.Command("QUIT");
    });
    EXPECT_TRUE(client.Finish());
    return list;
  }
  MemorySecrets secrets;
};

TEST_F(CheckAhead, ACheckShowsNewMessagesBeforeTheClientAsksAndTheClientFindsThemDecided) {
  TCheckAhead checks(form, secrets, 1h);
  checks.Start();
  ASSERT_TRUE(ListAndQuit().has_value()) << "an empty mailbox: nothing to review";
  EXPECT_EQ(checks.KnownAccounts(), std::set<std::string>{Account()});
  EXPECT_EQ(secrets.kept[Account()], "secret");
  EXPECT_EQ(ReadWholeFile(form.State.ProgramFolder + "checkahead.txt"), Account() + "\r\n")
      << "the account is remembered without its password";

  server.AddMessage(Message("From: a@example.org\r\nSubject: wanted"));
  server.AddMessage(Message("From: b@example.org\r\nSubject: unwanted"));
  server.ClearCommands();
  checks.CheckNow();
  ASSERT_TRUE(PumpUntil([&] { return ScanReady(); }, 10s));
  EXPECT_EQ(form.ReviewListView1.Count(), 2u);
  for (MessageRow& row : form.ReviewListView1.Rows()) row.Checked = row.Subject == "unwanted";
  form.Button1Click();
  ASSERT_TRUE(PumpUntil([&] { return !checks.Checking(); }, 10s));
  EXPECT_EQ(server.CountCommands("RETR"), 1u)
      << "a check retrieves only the removed message, for its copy in removed/";
  EXPECT_EQ(server.CountCommands("RETR 2"), 1u);
  EXPECT_EQ(server.Mailbox().size(), 1u) << "its QUIT committed the removal";

  std::size_t popups = popup.shown.size();
  std::optional<std::string> list = ListAndQuit();
  EXPECT_EQ(MessageLines(list), 1);
  EXPECT_EQ(popup.shown.size(), popups) << "the kept message is not reviewed again";
}

// A check never replaces a review the user has not decided.
TEST_F(CheckAhead, NoCheckStartsWhileAReviewIsOpen) {
  TCheckAhead checks(form, secrets, 1h);
  checks.Start();
  ListAndQuit();
  server.AddMessage(Message("Subject: one"));
  ASSERT_TRUE(ListAndLeaveBeforeTheDecision());
  ASSERT_TRUE(PumpUntil([&] { return form.Screening.ReviewClient.Get() == nullptr; }, 10s));
  std::size_t sessions = server.SessionsAccepted();
  checks.CheckNow();
  MessageLoop::Instance().ProcessMessages();
  EXPECT_FALSE(checks.Checking());
  EXPECT_EQ(server.SessionsAccepted(), sessions);
  EXPECT_TRUE(form.Screening.OpenReview().Open);
}

}  // namespace
}  // namespace qb::test
