#include "app/CommandLine.h"

#include <algorithm>
#include <sstream>

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
    "  QUILLBRIGHT_UPDATE_URL  the list server (https:// or http://, with a port) for\n"
    "                          list updates at start (default none)\n"
    "  QUILLBRIGHT_CA_FILE     more trusted certificates for TLS to the mail server and\n"
    "                          the list server\n"
    "\n"
    "Without QUILLBRIGHT_HOME the program folder is the executable's folder when it is\n"
    "writable and holds vlist.txt, else $XDG_DATA_HOME/quillbright/ (by default\n"
    "~/.local/share/quillbright/), filled from the shipped lists at first start.\n"
    "\n"
    "A port below 1024 needs a right on Linux: sudo setcap cap_net_bind_service=+ep\n"
    "on the executable (the Debian package does it), or choose a port of 1024 or above.\n";

std::vector<TOption> SharedOptions() {
  return {
      {"--help", "-h", TOptionValues::ovNone, "", "print this text and exit", nullptr},
      {"--version", "-V", TOptionValues::ovNone, "", "print the version and exit", nullptr},
  };
}

const TOption* FindOption(const std::vector<TOption>& options, std::string_view name) {
  auto named = [name](const TOption& option) {
    return option.Name == name || (!option.ShortName.empty() && option.ShortName == name);
  };
  auto found = std::ranges::find_if(options, named);
  return found == options.end() ? nullptr : &*found;
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// "  -h, --help            print this text and exit"
std::string OptionLines(const std::vector<TOption>& options) {
  std::ostringstream lines;
  for (const TOption& option : options) {
    std::string names =
        option.ShortName.empty() ? option.Name : option.ShortName + ", " + option.Name;
    if (option.Takes == TOptionValues::ovOne) names += " " + option.ValueName;
    if (option.Takes == TOptionValues::ovList) names += " " + option.ValueName + "...";
    names.resize(std::max<std::size_t>(names.size() + 2, 24), ' ');
    lines << "  " << names << option.Help << "\n";
  }
  return lines.str();
}

std::string HelpText(std::string_view program, const std::vector<TOption>& options,
                     std::string_view about) {
  return "Usage: " + std::string(program) + " [OPTION]...\n\n" + std::string(about) +
         "\nOptions:\n" + OptionLines(options) + "\n" + kSharedHelp + "\nSee " +
         std::string(program) + "(1).\n";
}

}  // namespace

bool TCommandLine::Has(std::string_view name) const {
  return std::ranges::any_of(Given,
                             [name](const TGiven& given) { return given.Option->Name == name; });
}

std::vector<std::string> TCommandLine::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (const TGiven& given : Given) {
    if (given.Option->Name == name)
      values.insert(values.end(), given.Values.begin(), given.Values.end());
  }
  return values;
}

TCommandLine ParseCommandLine(const std::vector<TOption>& options,
                              const std::vector<std::string>& arguments) {
  TCommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string_view name = argument;
    std::optional<std::string> joined;  // "--tenant=T"
    if (std::size_t equals = argument.find('=');
        argument.starts_with("--") && equals != std::string::npos) {
      name = name.substr(0, equals);
      joined = argument.substr(equals + 1);
    }
    const TOption* option = FindOption(options, name);
    if (!option) {
      line.Fault = (argument.starts_with('-') ? "unknown option " : "unexpected argument ") +
                   Quoted(argument);
      return line;
    }
    TCommandLine::TGiven& given = line.Given.emplace_back(TCommandLine::TGiven{option, {}});
    if (joined && option->Takes == TOptionValues::ovNone) {
      line.Fault = "option " + Quoted(name) + " takes no value";
      return line;
    }
    if (joined) given.Values.push_back(*joined);
    bool more = option->Takes == TOptionValues::ovList ||
                (option->Takes == TOptionValues::ovOne && !joined);
    while (more && i + 1 < arguments.size() && !arguments[i + 1].starts_with('-')) {
      given.Values.push_back(arguments[++i]);
      more = option->Takes == TOptionValues::ovList;
    }
    if (option->Takes != TOptionValues::ovNone && given.Values.empty()) {
      line.Fault = "option " + Quoted(name) + " needs " +
                   (option->Takes == TOptionValues::ovList ? "at least one value" : "a value") +
                   " (" + option->ValueName + ")";
      return line;
    }
  }
  return line;
}

std::vector<TOption> HeadlessOptions() {
  return SharedOptions();
}

std::vector<TOption> DesktopOptions() {
  std::vector<TOption> options = SharedOptions();
  options.push_back({"-shortcut", "", TOptionValues::ovNone, "",
                     "show the window at once (as the menu entry does)", nullptr});
  return options;
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " " + kProgramVersion + "\n";
}

std::string HeadlessHelpText() {
  return HelpText(
      "quillbrightd", HeadlessOptions(),
      "Quillbright's mail screening without a window: a POP3 gateway on 127.0.0.1 that\n"
      "scans the headers of new mail on your server and deletes the messages its lists\n"
      "mark (virus subjects, DNS block-list hits, blocked subjects, senders and\n"
      "recipients) before your mail client downloads them. It writes one line per scan\n"
      "to standard error; SIGINT or SIGTERM ends it. As a user service:\n"
      "systemctl --user enable --now quillbrightd.\n");
}

std::string DesktopHelpText() {
  return HelpText(
      "quillbright", DesktopOptions(),
      "Quillbright screens your mail before it reaches your machine: a POP3 gateway on\n"
      "127.0.0.1 that scans the headers of new mail on your server and shows a review\n"
      "list, with the unwanted messages ticked, in its window; \"Remove Checked\"\n"
      "deletes them on the server. It starts hidden in the tray.\n");
}

std::optional<int> AnswerCommandLine(const TCommandLine& line, std::string_view program,
                                     const std::string& helpText, std::ostream& out,
                                     std::ostream& err) {
  if (!line.Fault.empty()) {
    err << program << ": " << line.Fault << "; see '" << program << " --help'\n";
    return 2;
  }
  if (line.Has("--help")) {
    out << helpText;
    return 0;
  }
  if (line.Has("--version")) {
    out << VersionText(program);
    return 0;
  }
  for (const TCommandLine::TGiven& given : line.Given) {
    if (given.Option->Run) return given.Option->Run(given.Values);
  }
  return std::nullopt;
}

}  // namespace qb
