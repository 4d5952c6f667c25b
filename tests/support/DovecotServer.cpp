#include "support/DovecotServer.h"

#include "platform/FileStore.h"
#include "support/LoopbackSockets.h"
#include "support/PlainPop3Client.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qb::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kStartAttempts = 3;
constexpr auto kStartTimeout = 15s;
constexpr auto kStopTimeout = 10s;
// Maildir file names begin with their arrival time; the times of our files
// count up from here, one second apart, so that name order is arrival order.
constexpr long kFirstArrival = 1600000000;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A Maildir file's unique part: the name before the ":2,FLAGS" that Dovecot
// appends when it moves the file to cur/.
std::string BaseName(const fs::path& path) {
  std::string name = path.filename().string();
  return name.substr(0, name.find(':'));
}

bool ProcessGroupGone(pid_t group) {
  return ::kill(-group, 0) != 0;
}

}  // namespace

DovecotServer::DovecotServer(DovecotOptions options)
    : options_(std::move(options)), folder_("qb-dovecot"), owner_(MailOwner()) {
  PrepareFolders();
  WritePasswdFile();
}

DovecotServer::~DovecotServer() {
  Stop();
}

// Started as root, Dovecot's mail processes run as an unprivileged owner of
// the Maildirs; otherwise everything runs as the test's own user.
DovecotServer::Owner DovecotServer::MailOwner() {
  const passwd* entry = ::geteuid() == 0 ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
  if (!entry) throw std::runtime_error("DovecotServer: no user for the mail processes");
  const group* primary = ::getgrgid(entry->pw_gid);
  if (!primary) throw std::runtime_error("DovecotServer: no group for the mail processes");
  return {entry->pw_uid, entry->pw_gid, entry->pw_name, primary->gr_name};
}

void DovecotServer::GiveToOwner(const std::string& path) const {
  if (::geteuid() == 0 && ::chown(path.c_str(), owner_.Uid, owner_.Gid) != 0) {
    throw std::runtime_error("DovecotServer: cannot chown " + path);
  }
}

std::string DovecotServer::UserFolder(const std::string& user) const {
  return folder_.File("mail/" + user);
}

void DovecotServer::PrepareFolders() const {
  // The login and mail processes must be able to reach their files.
  fs::permissions(folder_.Path(), fs::perms(0755));
  for (const auto& [user, password] : options_.Users) {
    const std::string maildir = "mail/" + user;
    for (const std::string& sub : {maildir, maildir + "/new", maildir + "/cur", maildir + "/tmp",
                                   "home/" + user, "rawlog/" + user}) {
      GiveToOwner(folder_.MakeFolder(sub));
    }
  }
}

void DovecotServer::WritePasswdFile() const {
  std::string lines;
  for (const auto& [user, password] : options_.Users) lines += user + ":" + password + "\n";
  if (!WriteFileAtomically(folder_.File("passwd"), lines)) {
    throw std::runtime_error("DovecotServer: cannot write the passwd file");
  }
  fs::permissions(folder_.File("passwd"), fs::perms(0644));
}

std::string DovecotServer::TlsSettings() const {
  if (!options_.Tls) return "ssl = no\ndisable_plaintext_auth = no\n";
  return "ssl = required\n"
         "ssl_cert = <" +
         options_.Tls->CertFile + "\nssl_key = <" + options_.Tls->KeyFile + "\n";
}

std::string DovecotServer::ConfigText() const {
  const std::string root = folder_.Path().string();
  const bool asRoot = ::geteuid() == 0;
  std::ostringstream config;
  config << "instance_name = qb-dovecot-" << port_ << "\n"
         << "base_dir = " << root << "/run\n"
         << "state_dir = " << root << "/state\n"
         << "log_path = " << root << "/dovecot.log\n"
         << "protocols = pop3\n"
         << "listen = 127.0.0.1\n"
         << TlsSettings() << "auth_mechanisms = plain\n"
         << "mail_location = maildir:" << root << "/mail/%n\n"
         << "default_internal_user = " << (asRoot ? "dovecot" : owner_.Name) << "\n"
         << "default_login_user = " << (asRoot ? "dovenull" : owner_.Name) << "\n"
         << "default_internal_group = " << (asRoot ? "dovecot" : owner_.Group) << "\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << root << "/passwd\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << owner_.Uid << " gid=" << owner_.Gid
         << " home=" << root << "/home/%n\n}\n"
         << "service pop3-login {\n"
         << "  inet_listener pop3 {\n    port = " << port_ << "\n  }\n"
         << "  inet_listener pop3s {\n    port = " << popsPort_ << "\n  }\n"
         << (asRoot ? "" : "  chroot =\n") << "}\n";
  if (!asRoot) config << "service anvil {\n  chroot =\n}\n";
  if (options_.TranslateGatewayLogin) {
    // The default auth_username_chars refuses '#' and ':' before the
    // translation is applied; an empty list allows every character.
    config << "auth_username_chars =\n"
           << "auth_username_translation = \"#@\"\n"
           << "auth_username_format = %n\n";
  }
  if (options_.RecordSessions) config << "rawlog_dir = " << root << "/rawlog/%n\n";
  return config.str();
}

void DovecotServer::WriteConfig() const {
  if (!WriteFileAtomically(folder_.File("dovecot.conf"), ConfigText())) {
    throw std::runtime_error("DovecotServer: cannot write dovecot.conf");
  }
  fs::permissions(folder_.File("dovecot.conf"), fs::perms(0644));
}

void DovecotServer::Start() {
  if (master_) return;
  for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
    // Another test may take the port between our check and Dovecot's bind;
    // then the master exits at once and the next attempt takes another port.
    port_ = PickFreeLoopbackPort();
    popsPort_ = 0;
    while (options_.Tls && (popsPort_ == 0 || popsPort_ == port_))
      popsPort_ = PickFreeLoopbackPort();
    WriteConfig();
    master_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dovecot", "-F", "-c", folder_.File("dovecot.conf")});
    if (WaitForGreeting()) return;
    bool exited = !master_->Running();
    Stop();
    if (!exited || attempt == kStartAttempts) break;
  }
  throw std::runtime_error("DovecotServer: Dovecot did not start; its log:\n" + Log());
}

bool DovecotServer::WaitForGreeting() {
  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline && master_->Running()) {
    PlainPop3Client probe(port_);
    if (probe.Connected() && probe.ReadLine(2s).value_or("").starts_with("+OK")) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

void DovecotServer::Stop() {
  if (!master_) return;
  pid_t master = master_->Pid();
  master_->Signal(SIGTERM);
  master_->Wait(kStopTimeout);
  // The master's children share its process group; give them time to follow.
  auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
  while (!ProcessGroupGone(master) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  if (!ProcessGroupGone(master)) ::kill(-master, SIGKILL);
  master_.reset();
}

void DovecotServer::AddMessage(const std::string& user, const std::string& bytes) {
  long arrival = kFirstArrival + static_cast<long>(messagesAdded_);
  std::string name = std::to_string(arrival) + ".M" + std::to_string(messagesAdded_) + "P" +
                     std::to_string(::getpid()) + ".quillbright";
  ++messagesAdded_;
  std::string staged = UserFolder(user) + "/tmp/" + name;
  std::string delivered = UserFolder(user) + "/new/" + name;
  if (!WriteFileAtomically(staged, bytes)) {
    throw std::runtime_error("DovecotServer: cannot write " + staged);
  }
  fs::permissions(staged, fs::perms(0644));
  GiveToOwner(staged);
  timespec times[2] = {{arrival, 0}, {arrival, 0}};
  ::utimensat(AT_FDCWD, staged.c_str(), times, 0);
  fs::rename(staged, delivered);
}

std::vector<std::string> DovecotServer::Messages(const std::string& user) const {
  std::vector<fs::path> files;
  for (const char* sub : {"/new", "/cur"}) {
    for (const fs::directory_entry& entry : fs::directory_iterator(UserFolder(user) + sub)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return BaseName(a) < BaseName(b); });
  std::vector<std::string> messages;
  for (const fs::path& file : files) messages.push_back(ReadText(file));
  return messages;
}

std::string DovecotServer::Log() const {
  return ReadText(folder_.File("dovecot.log"));
}

std::vector<std::string> DovecotServer::Logins() const {
  std::vector<std::string> logins;
  std::istringstream log(Log());
  for (std::string line; std::getline(log, line);) {
    if (line.find("-login: Info: Login: ") != std::string::npos) logins.push_back(line);
  }
  return logins;
}

std::string DovecotServer::RawLog(const std::string& user) const {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_.File("rawlog/" + user))) {
    if (entry.path().extension() == ".in") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string text;
  for (const fs::path& file : files) text += ReadText(file);
  return text;
}

}  // namespace qb::test
