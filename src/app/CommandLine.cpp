#include "app/CommandLine.h"

#include "app/Version.h"

namespace qb {

namespace {

constexpr const char* kSharedHelp =
    "Point your mail client's POP3 account at localhost, port 110 (or the port you\n"
    "chose; STLS offered) or 1995 (implicit TLS), with the user name written as\n"
    "account#server[:port], for example alice#pop.example.org or\n"
    "alice#[2001:db8::1]:995; AUTH PLAIN works as USER/PASS. The password stays your\n"
    "own. Without a port the gateway tries TLS on 995, then STLS on 110, and says so\n"
    "once if the server has neither; /tls, /starttls and /plain after the server\n"
    "choose yourself.\n"
    "\n"
    "Environment:\n"
    "  QUILLBRIGHT_POP3_PORT   the port to listen on, on 127.0.0.1 and ::1 (default 110)\n"
    "  QUILLBRIGHT_POP3S_PORT  the port for implicit TLS (default 1995)\n"
    "  QUILLBRIGHT_HOME        the program folder, for the lists and markers\n"
    "  QUILLBRIGHT_UPDATE_URL  the list server for list updates at start (default none)\n"
    "  QUILLBRIGHT_CA_FILE     more trusted certificates for TLS to the mail server\n"
    "\n"
    "Without QUILLBRIGHT_HOME the program folder is the executable's folder when it is\n"
    "writable and holds vlist.txt, else $XDG_DATA_HOME/quillbright/ (by default\n"
    "~/.local/share/quillbright/), filled from the shipped lists at first start.\n"
    "\n"
    "A port below 1024 needs a right on Linux: sudo setcap cap_net_bind_service=+ep\n"
    "on the executable (the Debian package does it), or choose a port of 1024 or above.\n";

}  // namespace

TCommandLineRequest CommandLineRequest(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return TCommandLineRequest::crStart;
  const std::string& first = arguments.front();
  if (first == "--help" || first == "-h") return TCommandLineRequest::crHelp;
  if (first == "--version" || first == "-V") return TCommandLineRequest::crVersion;
  return TCommandLineRequest::crStart;
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " " + kProgramVersion + "\n";
}

bool AnswerCommandLine(const std::vector<std::string>& arguments, std::string_view program,
                       const std::string& helpText, std::ostream& out) {
  switch (CommandLineRequest(arguments)) {
    case TCommandLineRequest::crHelp:
      out << helpText;
      return true;
    case TCommandLineRequest::crVersion:
      out << VersionText(program);
      return true;
    case TCommandLineRequest::crStart:
      break;
  }
  return false;
}

std::string HeadlessHelpText() {
  return std::string(
             "Usage: quillbrightd [--help | --version]\n"
             "\n"
             "Quillbright's mail screening without a window: a POP3 gateway on 127.0.0.1 that\n"
             "scans the headers of new mail on your server and deletes the messages its lists\n"
             "mark (virus subjects, DNS block-list hits, blocked subjects, senders and\n"
             "recipients) before your mail client downloads them. It writes one line per scan\n"
             "to standard error; SIGINT or SIGTERM ends it. As a user service:\n"
             "systemctl --user enable --now quillbrightd.\n"
             "\n") +
         kSharedHelp + "\nSee quillbrightd(1).\n";
}

std::string DesktopHelpText() {
  return std::string(
             "Usage: quillbright [-shortcut | --help | --version]\n"
             "\n"
             "Quillbright screens your mail before it reaches your machine: a POP3 gateway on\n"
             "127.0.0.1 that scans the headers of new mail on your server and shows a review\n"
             "list, with the unwanted messages ticked, in its window; \"Remove Checked\"\n"
             "deletes them on the server. It starts hidden in the tray; -shortcut shows its\n"
             "window at once.\n"
             "\n") +
         kSharedHelp + "\nSee quillbright(1).\n";
}

}  // namespace qb
