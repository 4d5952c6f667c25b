#include "support/MailClients.h"

#include "platform/FileStore.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace qb::test {

namespace fs = std::filesystem;

namespace {

// The MDA: each message (on standard input) into the next free DIR/N.eml.
// fetchmail delivers one message after the other, so the numbering is safe.
constexpr std::string_view kDeliveryScript =
    "#!/bin/sh\n"
    "n=1\n"
    "while [ -e \"$1/$n.eml\" ]; do n=$((n + 1)); done\n"
    "exec cat > \"$1/$n.eml\"\n";

// Quotes a value for fetchmail's rc file.
std::string RcQuoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

unsigned DeliveryNumber(const fs::path& file) {
  return static_cast<unsigned>(std::stoul(file.stem().string()));
}

std::string ReadOrThrow(const fs::path& path) {
  std::optional<std::string> bytes = ReadWholeFile(path.string());
  if (!bytes) throw std::runtime_error("cannot read " + path.string());
  return *bytes;
}

}  // namespace

MailClientRun::MailClientRun(MailClientOptions options, const char* name)
    : options_(std::move(options)), folder_(name) {
  folder_.MakeFolder("delivered");
  WriteDeliveryScript();
}

void MailClientRun::WriteDeliveryScript() const {
  std::string script = folder_.File("deliver.sh");
  if (!WriteFileAtomically(script, kDeliveryScript)) {
    throw std::runtime_error("cannot write " + script);
  }
  fs::permissions(script, fs::perms(0755));
}

std::string MailClientRun::DeliveryCommand() const {
  return "/bin/sh " + folder_.File("deliver.sh") + " " + folder_.File("delivered");
}

std::string MailClientRun::WriteRcFile(const std::string& name, const std::string& text) const {
  std::string path = folder_.File(name);
  if (!WriteFileAtomically(path, text)) throw std::runtime_error("cannot write " + path);
  fs::permissions(path, fs::perms(0600));
  return path;
}

std::unique_ptr<ChildProcess> MailClientRun::Start() const {
  return std::make_unique<ChildProcess>(command_,
                                        Environment{{"HOME", Home()}, {"FETCHMAILHOME", Home()}});
}

ProcessResult MailClientRun::Run(std::chrono::milliseconds timeout) const {
  return Start()->Wait(timeout);
}

std::vector<std::string> MailClientRun::Delivered() const {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_.File("delivered"))) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    return DeliveryNumber(a) < DeliveryNumber(b);
  });
  std::vector<std::string> messages;
  for (const fs::path& file : files) messages.push_back(ReadOrThrow(file));
  return messages;
}

namespace {

std::string FetchmailTls(const MailClientOptions& options) {
  if (options.TlsFingerprint.empty()) return "sslproto \"\"";
  return std::string(options.ImplicitTls ? "ssl" : "sslproto tls1.2+") + " sslfingerprint \"" +
         options.TlsFingerprint + "\" no sslcertck";
}

// With TLS mpop chooses its login from the server's CAPA (its default).
std::string MpopTls(const MailClientOptions& options) {
  if (options.TlsFingerprint.empty()) return "tls off\nauth user\n";
  return "tls on\ntls_starttls " + std::string(options.ImplicitTls ? "off" : "on") +
         "\ntls_fingerprint " + options.TlsFingerprint + "\n";
}

}  // namespace

// "invisible" keeps fetchmail from adding its Received: header, "no rewrite"
// from touching addresses and "no stripcr" from turning CR LF into LF before
// the MDA, so the MDA sees exactly the bytes of the message. An empty
// sslproto stops fetchmail from trying STLS, which it does even when the
// server does not offer it, and then gives up on a plain-text server. Run as
// root, fetchmail keeps its lock in the system's run folder, where runs of
// parallel tests would see each other: the lock lives in its own folder.
Fetchmail::Fetchmail(FetchmailOptions options) : MailClientRun(std::move(options), "qb-fetchmail") {
  std::ostringstream rc;
  rc << "set no bouncemail\n"
     << "set invisible\n"
     << "poll " << options_.Host << " with proto POP3 port " << options_.Port << " auth password\n"
     << "  user " << RcQuoted(options_.User) << " there with password "
     << RcQuoted(options_.Password) << "\n"
     << "  options fetchall " << (options_.Keep ? "keep" : "no keep")
     << " no rewrite no stripcr fetchsizelimit 0 " << FetchmailTls(options_) << "\n"
     << "  mda " << RcQuoted(DeliveryCommand()) << "\n";
  std::string rcFile = WriteRcFile("fetchmailrc", rc.str());
  command_ = {"fetchmail",  "-v",
              "--nodetach", "--nosyslog",
              "--timeout",  std::to_string(options_.ServerTimeout.count()),
              "--pidfile",  Home() + "/fetchmail.pid",
              "-f",         rcFile};
}

// Plain USER/PASS without TLS must be asked for: mpop refuses it otherwise.
Mpop::Mpop(MailClientOptions options) : MailClientRun(std::move(options), "qb-mpop") {
  std::ostringstream rc;
  rc << "account default\n"
     << "host " << options_.Host << "\nport " << options_.Port << "\n"
     << "user " << options_.User << "\npassword " << options_.Password << "\n"
     << MpopTls(options_) << "timeout " << options_.ServerTimeout.count() << "\n"
     << "received_header off\n"
     << "keep " << (options_.Keep ? "on" : "off") << "\n"
     << "uidls_file " << folder_.File("uidls") << "\n"
     << "delivery mda " << RcQuoted(DeliveryCommand()) << "\n";
  command_ = {"mpop", "--file=" + WriteRcFile("mpoprc", rc.str()), "--half-quiet"};
}

Getmail::Getmail(MailClientOptions options) : MailClientRun(std::move(options), "qb-getmail") {
  std::ostringstream rc;
  rc << "[retriever]\ntype = SimplePOP3Retriever\n"
     << "server = " << options_.Host << "\nport = " << options_.Port << "\n"
     << "username = " << options_.User << "\npassword = " << options_.Password << "\n"
     << "timeout = " << options_.ServerTimeout.count() << "\n"
     << "[destination]\ntype = MDA_external\npath = /bin/sh\nallow_root_commands = true\n"
     << "arguments = (\"" << folder_.File("deliver.sh") << "\", \"" << folder_.File("delivered")
     << "\")\n"
     << "[options]\nread_all = true\ndelivered_to = false\nreceived = false\n"
     << "delete = " << (options_.Keep ? "false" : "true") << "\n";
  std::string rcFile = WriteRcFile("getmailrc", rc.str());
  command_ = {"getmail", "--rcfile=" + rcFile, "--getmaildir=" + Home()};
}

FetchmailResult RunFetchmail(const FetchmailOptions& options, std::chrono::milliseconds timeout) {
  Fetchmail fetchmail(options);
  ProcessResult process = fetchmail.Run(timeout);
  return {std::move(process), fetchmail.Delivered()};
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : text) {
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    }
  }
  return encoded;
}

std::string Pop3Url(std::string_view user, std::string_view password, std::uint16_t port,
                    std::optional<unsigned> message) {
  std::string url = "pop3://" + UrlEncode(user) + ":" + UrlEncode(password) +
                    "@127.0.0.1:" + std::to_string(port);
  if (message) url += "/" + std::to_string(*message);
  return url;
}

std::vector<std::string> CurlCommand(const std::vector<std::string>& arguments,
                                     std::chrono::milliseconds timeout) {
  // curl's own limit ends a hung transfer a little before a kill would.
  long long seconds =
      std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(timeout).count() - 1);
  std::vector<std::string> argv = {"curl", "--silent", "--show-error", "--max-time",
                                   std::to_string(seconds)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return argv;
}

ProcessResult RunCurl(const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeout) {
  return RunProcess(CurlCommand(arguments, timeout), timeout);
}

}  // namespace qb::test
