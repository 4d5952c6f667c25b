#include "app/Headless.h"

#include <array>
#include <utility>

namespace qb {

namespace {

constexpr std::uint32_t kPressRemoveChecked = WM_USER + 1;

std::string TrimmedAccount(const std::string& accountText) {
  std::size_t end = accountText.size();
  while (end > 0 && static_cast<unsigned char>(accountText[end - 1]) <= ' ') --end;
  return accountText.substr(0, end);
}

}  // namespace

std::string FormatScanReport(const ScreeningState& state, const ReviewList& review) {
  const std::array<std::pair<MessageCategory, const char*>, 5> ticked = {{
      {MessageCategory::mcVirus, "virus"},
      {MessageCategory::mcSpam, "spam"},
      {MessageCategory::mcBlockedSubject, "blocked subject"},
      {MessageCategory::mcBlockedSender, "blocked sender"},
      {MessageCategory::mcBlockedRecipient, "blocked recipient"},
  }};
  std::size_t tickedRows = 0;
  std::string counts;
  for (const auto& [category, name] : ticked) {
    std::size_t n = 0;
    for (const MessageRow& row : review.Rows()) {
      if (row.Checked && row.CategoryIcon == category) ++n;
    }
    if (!counts.empty()) counts += ", ";
    counts += std::string(name) + " " + std::to_string(n);
  }
  for (const MessageRow& row : review.Rows()) tickedRows += row.Checked ? 1 : 0;
  return "quillbrightd: " + TrimmedAccount(state.AccountText) + ": " +
         std::to_string(review.Count()) + " messages scanned, " + std::to_string(tickedRows) +
         " ticked (" + counts + ")";
}

THeadlessRemover::THeadlessRemover(TForm1& form, std::ostream& report)
    : form_(form), report_(report) {
  window_ = MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == kPressRemoveChecked) PressRemoveChecked();
    return LRESULT{0};
  });
  form_.OnChanged = [this](TForm1*) { FormChanged(); };
  form_.Screening.OnRemovalLogged = [this](const std::string& line) {
    report_ << line << std::endl;
  };
}

THeadlessRemover::~THeadlessRemover() {
  form_.OnChanged = nullptr;
  form_.Screening.OnRemovalLogged = nullptr;
  MessageLoop::Instance().DestroyWindow(window_);
}

// Each review is pressed once: a press whose decisions could not be
// recorded leaves the button enabled, and is not repeated.
void THeadlessRemover::FormChanged() {
  if (!form_.Controls.Button1Enabled || pressPending_) return;
  if (pressedReview_ == form_.Screening.ReviewSerial) return;
  pressPending_ = true;
  MessageLoop::Instance().PostMessage(window_, kPressRemoveChecked);
}

// The button may have been disabled meanwhile (the session closed and a
// new scan began); only an enabled button is pressed.
void THeadlessRemover::PressRemoveChecked() {
  pressPending_ = false;
  if (!form_.Controls.Button1Enabled) return;
  report_ << FormatScanReport(form_.State, form_.ReviewListView1) << std::endl;
  ++scansRemoved_;
  pressedReview_ = form_.Screening.ReviewSerial;
  form_.Button1Click();
}

}  // namespace qb
