// Thunderbird's preference files (prefs.js, user.js): statements of the form
//   user_pref("name", value);
// with string, integer or boolean values, between comments ("//", "#",
// "/* */") and blank lines. The file is kept as text: a change replaces only
// the value of the statement it touches, a new preference is appended, and a
// removed one takes its own line with it. Everything else (comments, spacing,
// the order, other people's preferences, UTF-8 names) stays byte for byte.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class TPrefsFile {
 public:
  // nullopt when the text is not a preference file Thunderbird could read
  // (an unterminated string or comment, a statement without its ";").
  static std::optional<TPrefsFile> Parse(std::string text);

  const std::string& Text() const { return text_; }

  bool Has(std::string_view name) const;
  // The value as it is written in the file (a string with its quotes).
  std::optional<std::string> Raw(std::string_view name) const;
  // The string's text (escapes decoded); nullopt when missing or not a string.
  std::optional<std::string> String(std::string_view name) const;
  // The integer; nullopt when missing or not an integer.
  std::optional<std::int64_t> Int(std::string_view name) const;

  // Every preference by name with its raw value (the last one of a name wins,
  // as Thunderbird reads them).
  std::map<std::string, std::string> All() const;

  // Sets the raw value of every statement of that name, or appends a
  // user_pref statement when there is none.
  void SetRaw(std::string_view name, std::string_view raw);
  void SetString(std::string_view name, std::string_view text);
  void SetInt(std::string_view name, std::int64_t value);
  // Removes every statement of that name (and its line when it stood alone).
  void Remove(std::string_view name);

 private:
  struct Statement {
    std::string Name;
    std::size_t Begin = 0;       // the statement's first byte
    std::size_t End = 0;         // after its ";"
    std::size_t ValueBegin = 0;  // the value token
    std::size_t ValueEnd = 0;
  };

  TPrefsFile() = default;
  bool Reparse();
  const Statement* Last(std::string_view name) const;

  std::string text_;
  std::vector<Statement> statements_;
};

// A string value as Thunderbird writes it: quoted, with \ " and line ends escaped.
std::string QuotePrefString(std::string_view text);

}  // namespace qb
