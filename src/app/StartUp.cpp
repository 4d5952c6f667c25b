#include "app/StartUp.h"

#include <cstdlib>

#include "platform/MessageLoop.h"

namespace qb {

std::string ListeningPort() {
  const char* port = std::getenv("QUILLBRIGHT_POP3_PORT");
  return port && *port ? std::string(port) : std::string("pop3");
}

bool IsShortcutStart(const std::vector<std::string>& arguments) {
  return !arguments.empty() && arguments.front() == "-shortcut";
}

TApplication::TApplication(IPopupNotifier& popupNotifier, ITrayIcon& trayIcon,
                           IHostResolver& resolver)
    : popupNotifier_(popupNotifier), trayIcon_(trayIcon), resolver_(resolver) {}

TApplication::~TApplication() {
  FreeMainForm();
}

TForm1& TApplication::Start(const std::vector<std::string>& arguments) {
  Title = kApplicationTitle;
  form_ = std::make_unique<TForm1>(popupNotifier_, trayIcon_, resolver_);
  form_->ShortcutStart = IsShortcutStart(arguments);
  form_->OnClose = [](TForm1*) { MessageLoop::Instance().Quit(0); };
  form_->FormCreate();
  // The modification dialog and the block-list editors join here once they exist.
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
