#include "setup/ThunderbirdPrefs.h"

#include <algorithm>
#include <utility>

namespace qb {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Reads `digits` hex digits at text[pos]; nullopt when they are not there.
std::optional<std::uint32_t> HexNumber(std::string_view text, std::size_t pos, int digits) {
  if (pos + digits > text.size()) return std::nullopt;
  std::uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    int digit = HexDigit(text[pos + i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// The text of a quoted string token (quotes included), escapes decoded.
std::string DecodeString(std::string_view token) {
  std::string out;
  std::string_view body = token.substr(1, token.size() - 2);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\\' || i + 1 == body.size()) {
      out += body[i];
      continue;
    }
    char escaped = body[++i];
    std::optional<std::uint32_t> code;
    if (escaped == 'n') {
      out += '\n';
    } else if (escaped == 'r') {
      out += '\r';
    } else if (escaped == 't') {
      out += '\t';
    } else if (escaped == 'x' && (code = HexNumber(body, i + 1, 2))) {
      AppendUtf8(out, *code);
      i += 2;
    } else if (escaped == 'u' && (code = HexNumber(body, i + 1, 4))) {
      i += 4;
      std::optional<std::uint32_t> low;
      if (*code >= 0xD800 && *code < 0xDC00 && i + 2 < body.size() && body[i + 1] == '\\' &&
          body[i + 2] == 'u' && (low = HexNumber(body, i + 3, 4)) && *low >= 0xDC00 &&
          *low < 0xE000) {
        *code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
        i += 6;
      }
      AppendUtf8(out, *code);
    } else {
      out += escaped;
    }
  }
  return out;
}

// A scanner over the file: positions, comments, tokens. Every loop moves on
// by at least one byte or stops.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t Pos() const { return pos_; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  // Skips blanks and comments; false on a comment that never ends.
  bool SkipBlanks() {
    while (!AtEnd()) {
      if (IsSpace(Peek())) {
        ++pos_;
      } else if (Peek() == '#' || text_.substr(pos_, 2) == "//") {
        std::size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else if (text_.substr(pos_, 2) == "/*") {
        std::size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) return false;
        pos_ = end + 2;
      } else {
        return true;
      }
    }
    return true;
  }

  bool Expect(char c) {
    if (!SkipBlanks() || Peek() != c) return false;
    ++pos_;
    return true;
  }

  std::optional<std::string_view> Identifier() {
    if (!SkipBlanks()) return std::nullopt;
    std::size_t start = pos_;
    while (!AtEnd() && IsIdentifierChar(Peek())) ++pos_;
    if (pos_ == start) return std::nullopt;
    return text_.substr(start, pos_ - start);
  }

  // A quoted string, a number or true / false; the token's bytes.
  std::optional<std::string_view> Value() {
    if (!SkipBlanks()) return std::nullopt;
    std::size_t start = pos_;
    char c = Peek();
    if (c == '"' || c == '\'') return QuotedString(start, c);
    if (c == '-' || c == '+') ++pos_;
    while (!AtEnd() && IsIdentifierChar(Peek())) ++pos_;
    if (pos_ == start) return std::nullopt;
    return text_.substr(start, pos_ - start);
  }

 private:
  std::optional<std::string_view> QuotedString(std::size_t start, char quote) {
    ++pos_;
    while (!AtEnd() && Peek() != quote) pos_ += (Peek() == '\\') ? 2 : 1;
    if (AtEnd()) return std::nullopt;
    ++pos_;
    return text_.substr(start, pos_ - start);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsQuoted(std::string_view raw) {
  return raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
         raw.back() == raw.front();
}

}  // namespace

std::string QuotePrefString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::optional<TPrefsFile> TPrefsFile::Parse(std::string text) {
  TPrefsFile file;
  file.text_ = std::move(text);
  if (!file.Reparse()) return std::nullopt;
  return file;
}

// Statement: identifier "(" name "," value { "," attribute } ")" ";".
bool TPrefsFile::Reparse() {
  statements_.clear();
  Scanner scanner(text_);
  while (scanner.SkipBlanks() && !scanner.AtEnd()) {
    Statement statement;
    statement.Begin = scanner.Pos();
    if (!scanner.Identifier() || !scanner.Expect('(')) return false;
    std::optional<std::string_view> name = scanner.Value();
    if (!name || !IsQuoted(*name) || !scanner.Expect(',')) return false;
    statement.Name = DecodeString(*name);
    std::optional<std::string_view> value = scanner.Value();
    if (!value) return false;
    statement.ValueBegin = static_cast<std::size_t>(value->data() - text_.data());
    statement.ValueEnd = statement.ValueBegin + value->size();
    while (scanner.Expect(',')) {
      if (!scanner.Identifier()) return false;
    }
    if (!scanner.Expect(')') || !scanner.Expect(';')) return false;
    statement.End = scanner.Pos();
    statements_.push_back(std::move(statement));
  }
  return scanner.AtEnd();
}

const TPrefsFile::Statement* TPrefsFile::Last(std::string_view name) const {
  auto found = std::find_if(statements_.rbegin(), statements_.rend(),
                            [name](const Statement& s) { return s.Name == name; });
  return found == statements_.rend() ? nullptr : &*found;
}

bool TPrefsFile::Has(std::string_view name) const {
  return Last(name) != nullptr;
}

std::optional<std::string> TPrefsFile::Raw(std::string_view name) const {
  const Statement* statement = Last(name);
  if (!statement) return std::nullopt;
  return text_.substr(statement->ValueBegin, statement->ValueEnd - statement->ValueBegin);
}

std::optional<std::string> TPrefsFile::String(std::string_view name) const {
  std::optional<std::string> raw = Raw(name);
  if (!raw || !IsQuoted(*raw)) return std::nullopt;
  return DecodeString(*raw);
}

std::optional<std::int64_t> TPrefsFile::Int(std::string_view name) const {
  std::optional<std::string> raw = Raw(name);
  if (!raw || raw->empty()) return std::nullopt;
  std::string_view digits = *raw;
  bool negative = digits.front() == '-';
  if (negative || digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

std::map<std::string, std::string> TPrefsFile::All() const {
  std::map<std::string, std::string> all;
  for (const Statement& s : statements_) {
    all[s.Name] = text_.substr(s.ValueBegin, s.ValueEnd - s.ValueBegin);
  }
  return all;
}

void TPrefsFile::SetRaw(std::string_view name, std::string_view raw) {
  bool found = false;
  for (auto s = statements_.rbegin(); s != statements_.rend(); ++s) {
    if (s->Name != name) continue;
    text_.replace(s->ValueBegin, s->ValueEnd - s->ValueBegin, raw);
    found = true;
  }
  if (!found) {
    const char* lineEnd = text_.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    if (!text_.empty() && text_.back() != '\n') text_ += lineEnd;
    text_ += "user_pref(" + QuotePrefString(name) + ", " + std::string(raw) + ");" + lineEnd;
  }
  Reparse();
}

void TPrefsFile::SetString(std::string_view name, std::string_view text) {
  SetRaw(name, QuotePrefString(text));
}

void TPrefsFile::SetInt(std::string_view name, std::int64_t value) {
  SetRaw(name, std::to_string(value));
}

void TPrefsFile::Remove(std::string_view name) {
  for (auto s = statements_.rbegin(); s != statements_.rend(); ++s) {
    if (s->Name != name) continue;
    std::size_t begin = s->Begin;
    std::size_t end = s->End;
    std::size_t lineStart = text_.rfind('\n', begin == 0 ? 0 : begin - 1);
    lineStart = (begin == 0 || lineStart == std::string::npos) ? 0 : lineStart + 1;
    std::size_t lineEnd = text_.find('\n', end);
    bool alone = text_.find_first_not_of(" \t", lineStart) == begin &&
                 text_.find_first_not_of(" \t\r", end) ==
                     (lineEnd == std::string::npos ? std::string::npos : lineEnd);
    if (alone) {
      begin = lineStart;
      end = lineEnd == std::string::npos ? text_.size() : lineEnd + 1;
    }
    text_.erase(begin, end - begin);
  }
  Reparse();
}

}  // namespace qb
