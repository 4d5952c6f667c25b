// The command lines of both programs, each a table of options: its name
// (and short name), whether it takes no value, one value or a list of
// values, and its line in the usage text. Parsing checks every argument
// against the table: an unknown option or a missing value is a fault, which
// the program names on one line, pointing to --help, and ends with status 2.
//
// Adding an option is one row in HeadlessOptions() or DesktopOptions(),
// plus a handler: `Run` for a task done instead of the start (it gets the
// option's values and gives the exit status), or a look-up of the parsed
// TCommandLine by the start for a setting of it ("-shortcut").
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class TOptionValues { ovNone, ovOne, ovList };

struct TOption {
  std::string Name;       // "--version", or "-shortcut"
  std::string ShortName;  // "-V", or empty
  TOptionValues Takes = TOptionValues::ovNone;
  std::string ValueName;  // in the usage text: "ACCOUNT", "PATH"
  std::string Help;       // its line in the usage text
  std::function<int(const std::vector<std::string>& values)> Run;
};

// What the arguments asked for: each option given, with its values, in the
// order given; or the first fault, in words ("unknown option '--x'").
struct TCommandLine {
  struct TGiven {
    const TOption* Option;
    std::vector<std::string> Values;
  };
  std::vector<TGiven> Given;
  std::string Fault;

  bool Has(std::string_view name) const;
  // The values of every `name` given, in order.
  std::vector<std::string> Values(std::string_view name) const;
};

// `arguments` are those after the program name. A value is the next
// argument, or follows "=" in the same one ("--tenant=T"); a list takes
// every following argument up to the next that starts with '-', at least
// one. An argument that starts with '-' is never taken as a value.
TCommandLine ParseCommandLine(const std::vector<TOption>& options,
                              const std::vector<std::string>& arguments);

// The options of quillbrightd and of quillbright: --help and --version for
// both, then each program's own.
std::vector<TOption> HeadlessOptions();
std::vector<TOption> DesktopOptions();

// "<program> <version>\n", the version being the build's project version.
std::string VersionText(std::string_view program);

// The usage texts of quillbrightd and quillbright, their option lines made
// from the tables.
std::string HeadlessHelpText();
std::string DesktopHelpText();

// What a program does with its parsed command line before it starts: a
// fault goes to `err` on one line (status 2); --help and --version are
// answered on `out`, and an option with a task runs it (their status).
// Nothing when the program is to start.
std::optional<int> AnswerCommandLine(const TCommandLine& line, std::string_view program,
                                     const std::string& helpText, std::ostream& out,
                                     std::ostream& err);

}  // namespace qb
