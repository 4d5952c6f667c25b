// Dialogs for tests: records every message box and input box, answers input
// boxes from a queue (cancelled when the queue is empty). Installs itself as
// the process's dialogs while it lives and puts the previous ones back.
//
//   RecordingDialogs dialogs;
//   dialogs.QueueInput("pop.example.org");
//   ... code under test ...
//   ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
//   EXPECT_EQ(dialogs.MessageBoxes()[0].Text, "Cannot open file ...");
#pragma once

#include "platform/Dialogs.h"
#include "support/ScopedInstall.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace qb::test {

class RecordingDialogs : public IDialogs {
 public:
  struct MessageBoxCall {
    std::string Text;
    TMsgDlgType Type;
  };
  struct InputBoxCall {
    std::string Title;
    std::string Prompt;
    std::string Initial;
  };

  RecordingDialogs() = default;
  RecordingDialogs(const RecordingDialogs&) = delete;
  RecordingDialogs& operator=(const RecordingDialogs&) = delete;

  void ShowMessageBox(const std::string& text, TMsgDlgType type) override {
    messageBoxes_.push_back({text, type});
  }

  std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                      const std::string& initial) override {
    inputBoxes_.push_back({title, prompt, initial});
    if (answers_.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
  }

  // Records the question; answers from QueueConfirm, "yes" when none is queued.
  bool Confirm(const std::string& text, const std::string& yes) override {
    confirmations_.push_back({text, yes, {}});
    if (confirmAnswers_.empty()) return true;
    bool answer = confirmAnswers_.front();
    confirmAnswers_.pop_front();
    return answer;
  }
  void QueueConfirm(bool yes) { confirmAnswers_.push_back(yes); }
  // Each question as {text, the yes button's caption, ""}.
  const std::vector<InputBoxCall>& Confirmations() const { return confirmations_; }

  // The answer of the next input box; nullopt answers as a cancel would.
  void QueueInput(std::optional<std::string> answer) { answers_.push_back(std::move(answer)); }

  const std::vector<MessageBoxCall>& MessageBoxes() const { return messageBoxes_; }
  const std::vector<InputBoxCall>& InputBoxes() const { return inputBoxes_; }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxCall& call : messageBoxes_) texts.push_back(call.Text);
    return texts;
  }
  void Clear() {
    messageBoxes_.clear();
    inputBoxes_.clear();
    answers_.clear();
  }

 private:
  ScopedInstall<IDialogs> installed_{InstallDialogs, this};
  std::vector<MessageBoxCall> messageBoxes_;
  std::vector<InputBoxCall> inputBoxes_;
  std::deque<std::optional<std::string>> answers_;
  std::vector<InputBoxCall> confirmations_;
  std::deque<bool> confirmAnswers_;
};

}  // namespace qb::test
