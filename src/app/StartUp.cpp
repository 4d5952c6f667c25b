#include "app/StartUp.h"

#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/MessageLoop.h"
#include "screening/ScreeningText.h"

namespace qb {

std::string ListeningPort() {
  const char* port = std::getenv("QUILLBRIGHT_POP3_PORT");
  return port && *port ? std::string(port) : std::string("pop3");
}

int ListeningPortNumber() {
  const std::string port = ListeningPort();
  std::optional<std::int64_t> number = ParseWholeNumber(port);
  if (number && *number > 0 && *number < 65536) return static_cast<int>(*number);
  const servent* service = getservbyname(port.c_str(), "tcp");
  return service ? ntohs(static_cast<std::uint16_t>(service->s_port)) : 110;
}

bool IsShortcutStart(const std::vector<std::string>& arguments) {
  return std::ranges::find(arguments, "-shortcut") != arguments.end();
}

void QuitMessageLoop() {
  MessageLoop::Instance().Quit(0);
}

TApplication::TApplication(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon,
                           IHostResolver& resolver, std::function<void()> quit)
    : popupNotifier_(popupNotifier),
      trayIcon_(trayIcon),
      resolver_(resolver),
      quit_(std::move(quit)) {}

TApplication::~TApplication() {
  FreeMainForm();
}

TForm1& TApplication::Start(const std::vector<std::string>& arguments) {
  Title = kApplicationTitle;
  form_ = std::make_unique<TForm1>(popupNotifier_, trayIcon_, resolver_);
  form_->ShortcutStart = IsShortcutStart(arguments);
  form_->OnClose = [this](TForm1*) { quit_(); };
  if (OnMainFormCreated) OnMainFormCreated(this, *form_);
  form_->FormCreate();
  // The setup dialog and the block-list editors are made when the menu opens
  // them: made here as well, they would only read their files once more.
  if (form_->ShortcutStart) trayIcon_.ShowMainWindow();
  return *form_;
}

int TApplication::Run() {
  MessageLoop& loop = MessageLoop::Instance();
  loop.ResetTerminated();
  return loop.Run();
}

// The sessions the gateway closed are freed by posted messages: they are
// dispatched before the loop is left behind.
void TApplication::FreeMainForm() {
  if (!form_) return;
  form_.reset();
  MessageLoop::Instance().ProcessMessages();
}

}  // namespace qb
