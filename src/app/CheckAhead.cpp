#include "app/CheckAhead.h"

#include "app/ReviewSettings.h"
#include "platform/FileStore.h"
#include "screening/ListFile.h"

namespace qb {

namespace {

constexpr std::uint32_t kFreeSocket = WM_USER + 1;
constexpr WPARAM kCheckTimer = 1;
const std::string kCrLf = "\r\n";

}  // namespace

TCheckAhead::TCheckAhead(TForm1& form, ISecretStore& secrets, std::chrono::milliseconds interval)
    : form_(form), secrets_(secrets), interval_(interval) {
  window_ = MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == WM_TIMER) CheckNow();
    if (msg == kFreeSocket) closed_.reset();
    return LRESULT{0};
  });
}

TCheckAhead::~TCheckAhead() {
  form_.Screening.OnLoginAccepted = nullptr;
  MessageLoop::Instance().DestroyWindow(window_);
  if (socket_) {
    socket_->OnDataAvailable = nullptr;
    socket_->OnSessionClosed = nullptr;
    socket_->Abort();
  }
}

std::unique_ptr<TCheckAhead> TCheckAhead::StartIfAllowed(TForm1& form) {
  std::optional<std::chrono::minutes> every = CheckAheadSetting();
  if (!every) return nullptr;
  std::unique_ptr<ISecretStore> secrets = MakeLibsecretStore();
  auto checks = std::make_unique<TCheckAhead>(form, *secrets, *every);
  checks->ownSecrets_ = std::move(secrets);
  checks->Start();
  return checks;
}

void TCheckAhead::Start() {
  if (std::optional<std::string> known = ReadWholeFile(AccountsFile())) {
    for (const std::string& account : ParseListText(*known)) {
      if (!account.empty()) accounts_.insert(account);
    }
  }
  form_.Screening.OnLoginAccepted = [this](const std::string& account, const std::string& pw) {
    LoginAccepted(account, pw);
  };
  MessageLoop::Instance().SetTimer(window_, kCheckTimer, interval_);
  CheckNow();
}

std::string TCheckAhead::AccountsFile() const {
  return form_.State.ProgramFolder + "checkahead.txt";
}

// The check's own login is accepted too; it changes nothing.
void TCheckAhead::LoginAccepted(const std::string& account, const std::string& password) {
  if (account == account_ && Checking()) return;
  secrets_.Store(account, password, [](bool) {});
  if (accounts_.insert(account).second) SaveAccounts();
}

void TCheckAhead::SaveAccounts() {
  WriteFileAtomically(AccountsFile(), FormatListText(TextLines(accounts_.begin(), accounts_.end())),
                      kPrivateFileMode);
}

// A review the user has not decided is never replaced by a check.
void TCheckAhead::CheckNow() {
  if (Checking() || !due_.empty()) return;
  due_.assign(accounts_.begin(), accounts_.end());
  NextCheck();
}

void TCheckAhead::NextCheck() {
  if (due_.empty() || form_.Screening.OpenReview().Open) {
    due_.clear();
    return;
  }
  std::string account = due_.front();
  due_.pop_front();
  secrets_.Lookup(account, [this, account](std::optional<std::string> password) {
    if (!password) return NextCheck();
    Connect(account, *password);
  });
}

void TCheckAhead::Connect(const std::string& account, const std::string& password) {
  account_ = account;
  password_ = password;
  listing_ = false;
  step_ = TStep::Greeting;
  socket_ = std::make_unique<TAsyncSocket>();
  socket_->LineEnd = kCrLf;
  socket_->SetLineMode(true);
  socket_->SetAddr("127.0.0.1");
  socket_->SetPort(std::to_string(form_.MailGateway1.ListenSocket().BoundPort()));
  socket_->OnDataAvailable = [this](TCustomAsyncSocket*, std::uint16_t) { LineArrived(); };
  socket_->OnSessionClosed = [this](TCustomAsyncSocket*, std::uint16_t) { EndCheck(); };
  try {
    socket_->Connect();
  } catch (const std::exception&) {
    EndCheck();
  }
}

// One line at a time: the status of each step, then the LIST reply's lines
// up to its "."; any "-ERR" ends the check with QUIT.
void TCheckAhead::LineArrived() {
  std::string line = socket_->ReceiveString();
  if (listing_) {
    if (line == "." + kCrLf) Send(TStep::Quit, "QUIT");
    return;
  }
  if (!line.starts_with("+OK")) {
    if (step_ == TStep::Quit) return socket_->Close();
    return Send(TStep::Quit, "QUIT");
  }
  switch (step_) {
    case TStep::Greeting:
      return Send(TStep::User, "USER " + account_);
    case TStep::User:
      return Send(TStep::Pass, "PASS " + password_);
    case TStep::Pass:
      return Send(TStep::List, "LIST");
    case TStep::List:
      listing_ = true;
      return;
    case TStep::Quit:
      return socket_->Close();
  }
}

void TCheckAhead::Send(TStep step, const std::string& line) {
  step_ = step;
  listing_ = false;
  socket_->SendString(line + kCrLf);
}

// The socket is freed later, never inside its own handler; the next
// account's check follows.
void TCheckAhead::EndCheck() {
  if (!socket_) return;
  socket_->OnDataAvailable = nullptr;
  socket_->OnSessionClosed = nullptr;
  closed_ = std::move(socket_);
  password_.clear();
  MessageLoop::Instance().PostMessage(window_, kFreeSocket);
  NextCheck();
}

}  // namespace qb
