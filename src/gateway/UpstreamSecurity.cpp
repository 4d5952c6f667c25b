#include "gateway/UpstreamSecurity.h"

#include <arpa/inet.h>

#include <cctype>

#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "platform/MessageLoop.h"
#include "platform/PrivateFiles.h"

namespace qb {

namespace {

const std::string kCrLf = "\r\n";
constexpr std::uint32_t WM_SHOW_FAILURES = WM_USER + 1;
constexpr std::size_t kMaxCapaReply = 64 * 1024;
constexpr std::size_t kMaxGreetingLine = 4096;

struct Suffix {
  const char* Text;
  TUpstreamTls Tls;
};
constexpr Suffix kSuffixes[] = {{"/tls", TUpstreamTls::utImplicit},
                                {"/starttls", TUpstreamTls::utStartTls},
                                {"/plain", TUpstreamTls::utPlain}};

// The entries of a list file: one per line, lines ending in CR, LF or CR LF.
std::set<std::string> ReadEntries(const std::string& file) {
  std::set<std::string> entries;
  std::string text = ReadWholeFile(file).value_or("");
  std::string entry;
  for (char c : text + "\n") {
    if (c != '\r' && c != '\n') {
      entry += c;
    } else if (!entry.empty()) {
      entries.insert(entry);
      entry.clear();
    }
  }
  return entries;
}

std::string HostKey(const std::string& host) {
  return LowerAscii(TrimBlanks(host));
}

// A CAPA listing names STLS on a line of its own (capabilities may carry
// arguments after a blank).
bool ListsStls(const std::string& listing) {
  std::size_t at = 0;
  while (at < listing.size()) {
    std::size_t end = listing.find(kCrLf, at);
    if (end == std::string::npos) end = listing.size();
    std::string word = LowerAscii(SplitField(listing.substr(at, end - at), ' ', 0));
    if (word == "stls") return true;
    at = end + kCrLf.size();
  }
  return false;
}

}  // namespace

TUpstreamTls TakeSecuritySuffix(std::string& serverPart) {
  std::string lowered = LowerAscii(serverPart);
  for (const Suffix& suffix : kSuffixes) {
    std::string text = suffix.Text;
    if (lowered.size() > text.size() && lowered.ends_with(text)) {
      serverPart.resize(serverPart.size() - text.size());
      return suffix.Tls;
    }
  }
  return TUpstreamTls::utAuto;
}

TUpstreamTls ResolveUpstreamTls(TUpstreamTls asked, const std::string& port) {
  if (asked != TUpstreamTls::utAuto) return asked;
  std::string text = LowerAscii(TrimBlanks(port));
  std::size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  bool implicit = digits > 0 ? std::stoul(text.substr(0, std::min<std::size_t>(digits, 9))) == 995
                             : text == "pop3s";
  return implicit ? TUpstreamTls::utImplicit : TUpstreamTls::utAuto;
}

bool IsLoopbackHost(const std::string& host) {
  std::string name = LowerAscii(TrimBlanks(host));
  if (name == "localhost" || name.ends_with(".localhost") || name == "::1") return true;
  in_addr address{};
  return inet_pton(AF_INET, name.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

bool TriesTlsFirst(bool portNamed, TUpstreamTls asked, const std::string& host) {
  return !portNamed && asked == TUpstreamTls::utAuto && !IsLoopbackHost(host);
}

// ---- TUpstreamGuard -------------------------------------------------------------

TUpstreamGuard::TUpstreamGuard() {
  window_ = MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == WM_SHOW_FAILURES) ShowQueued();
    return LRESULT{0};
  });
}

TUpstreamGuard::~TUpstreamGuard() {
  MessageLoop::Instance().DestroyWindow(window_);
}

bool TUpstreamGuard::OffersStls(const std::string& file, const std::string& host) {
  const std::set<std::string> known = file.empty() ? remembered_ : ReadEntries(file);
  return known.contains(HostKey(host));
}

void TUpstreamGuard::RememberStls(const std::string& file, const std::string& host) {
  if (OffersStls(file, host)) return;
  if (file.empty()) {
    remembered_.insert(HostKey(host));
    return;
  }
  std::string text;
  for (const std::string& entry : ReadEntries(file)) text += entry + kCrLf;
  text += HostKey(host) + kCrLf;
  // Not saved, it is at least kept for this run: plain stays refused.
  if (!WriteFileAtomically(file, text, ProgramFileMode(file))) remembered_.insert(HostKey(host));
}

void TUpstreamGuard::ShowOnce(const std::string& text) {
  if (!shown_.insert(text).second) return;
  queued_.push_back(text);
  MessageLoop::Instance().PostMessage(window_, WM_SHOW_FAILURES);
}

void TUpstreamGuard::TellPlainOnce(const std::string& host) {
  if (toldPlain_.insert(HostKey(host)).second && OnPlainLogin) OnPlainLogin(host);
}

void TUpstreamGuard::ShowQueued() {
  std::vector<std::string> texts;
  texts.swap(queued_);
  for (const std::string& text : texts) CurrentDialogs().ShowMessageBox(text, TMsgDlgType::mtError);
}

// ---- TUpstreamSecurity ------------------------------------------------------------

TUpstreamSecurity::TUpstreamSecurity(TAsyncSocket& server, TSocketClient& client,
                                     TUpstreamRequest request, TUpstreamGuard& guard,
                                     TDeliver deliver)
    : server_(server),
      client_(client),
      request_(std::move(request)),
      guard_(guard),
      deliver_(std::move(deliver)) {
  server_.TlsHandshakeTimeout = request_.HandshakeTimeout;
  server_.OnTlsDone = [this](TCustomAsyncSocket*, const std::string& failure) { TlsDone(failure); };
}

void TUpstreamSecurity::Begin() {
  if (request_.Tls == TUpstreamTls::utPlain) step_ = usPassing;
  if (request_.Tls != TUpstreamTls::utImplicit) return;
  step_ = usHandshake;
  server_.StartTls(request_.Host);
}

bool TUpstreamSecurity::Admit(std::string& data) {
  switch (step_) {
    case usPassing:
      return true;
    case usGreeting:
      received_ += data;
      return GreetingArrived(data);
    case usCapa:
      received_ += data;
      return CapaArrived(data);
    case usStlsReply:
      received_ += data;
      StlsReplyArrived();
      return false;
    case usHandshake:
    case usFailed:
      return false;
  }
  return false;
}

bool TUpstreamSecurity::TakeLine(std::string& line) {
  std::size_t end = received_.find(kCrLf);
  if (end == std::string::npos) return false;
  line = received_.substr(0, end);
  return true;
}

// A server that turns the session away is the application's business,
// unless TLS was required: then that is a failure like any other.
bool TUpstreamSecurity::GreetingArrived(std::string& data) {
  std::string line;
  if (!TakeLine(line)) {
    // No line end within the limit: no greeting at all, which the
    // application answers as such; nothing of it is buffered without bound.
    if (received_.size() <= kMaxGreetingLine) return false;
    step_ = usPassing;
    data.swap(received_);
    received_.clear();
    return true;
  }
  greeting_ = received_;
  received_.clear();
  if (!line.starts_with("+OK")) {
    bool tlsRequired = request_.Tls == TUpstreamTls::utStartTls ||
                       guard_.OffersStls(request_.StlsServersFile, request_.Host);
    if (tlsRequired) {
      Fail("the server did not accept the session (" + line + ")");
      return false;
    }
    step_ = usPassing;
    data = greeting_;
    return true;
  }
  if (request_.Tls == TUpstreamTls::utStartTls) {
    SendStls();
  } else {
    step_ = usCapa;
    server_.SendString("CAPA" + kCrLf);
  }
  return false;
}

bool TUpstreamSecurity::CapaArrived(std::string& data) {
  std::string line;
  if (!TakeLine(line)) return false;
  bool listing = line.starts_with("+OK");
  if (listing && received_.find("\r\n.\r\n") == std::string::npos) {
    if (received_.size() <= kMaxCapaReply) return false;
    Fail("the server's CAPA reply does not end");
    return false;
  }
  bool offered = listing && ListsStls(received_.substr(line.size() + kCrLf.size()));
  received_.clear();
  if (!offered) return WithoutStls(data);
  guard_.RememberStls(request_.StlsServersFile, request_.Host);
  SendStls();
  return false;
}

bool TUpstreamSecurity::WithoutStls(std::string& data) {
  if (guard_.OffersStls(request_.StlsServersFile, request_.Host)) {
    Fail("the server no longer offers STLS, which it offered before");
    return false;
  }
  step_ = usPassing;
  data = greeting_;
  if (request_.TellPlain) guard_.TellPlainOnce(request_.Host);
  return true;
}

void TUpstreamSecurity::SendStls() {
  step_ = usStlsReply;
  server_.SendString("STLS" + kCrLf);
}

// Whatever came with the reply is dropped: only what arrives through TLS
// counts as the server's.
void TUpstreamSecurity::StlsReplyArrived() {
  std::string line;
  if (!TakeLine(line)) return;
  received_.clear();
  if (!line.starts_with("+OK")) return Fail("the server refused STLS (" + line + ")");
  guard_.RememberStls(request_.StlsServersFile, request_.Host);
  step_ = usHandshake;
  server_.StartTls(request_.Host);
}

void TUpstreamSecurity::TlsDone(const std::string& failure) {
  if (step_ == usFailed) return;
  if (!failure.empty()) return Fail(failure);
  guard_.RememberStls(request_.StlsServersFile, request_.Host);
  step_ = usPassing;
  if (greeting_.empty()) return;  // implicit TLS: the greeting is still to come
  std::string greeting;
  greeting.swap(greeting_);
  deliver_(greeting);
}

void TUpstreamSecurity::Fail(const std::string& reason) {
  step_ = usFailed;
  std::string text = "TLS: " + reason + " (" + request_.Host + ")";
  if (client_.State() == wsConnected) {
    client_.SendString("-ERR [SYS/PERM] " + text + kCrLf);
    // A graceful close, so the reply is not lost to a reset.
    client_.LingerOnOff = wsLingerOff;
    client_.ApplyLinger();
    client_.Close();
  }
  if (server_.State() != wsClosed) server_.Abort();
  guard_.ShowOnce(text);
}

}  // namespace qb
