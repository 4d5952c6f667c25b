#include "screening/MimeParameters.h"

#include <optional>

#include "platform/AsciiText.h"
#include "screening/EncodedWords.h"

namespace qb {

namespace {

// More sections than this are not joined (a value of 64 lines of 78
// characters is longer than any name).
constexpr int kMaxSections = 64;

class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return at_ >= text_.size(); }

  // Up to the next ';' (or '=' when `stopAtEquals`), outside quotes.
  std::string Token(bool stopAtEquals) {
    std::size_t start = at_;
    while (!AtEnd() && text_[at_] != ';' && !(stopAtEquals && text_[at_] == '=')) ++at_;
    return TrimBlanks(text_.substr(start, at_ - start));
  }

  std::string Quoted() {
    std::string value;
    ++at_;  // the opening quote
    while (!AtEnd() && text_[at_] != '"') {
      if (text_[at_] == '\\' && at_ + 1 < text_.size()) ++at_;
      value += text_[at_++];
    }
    ++at_;         // the closing quote, if any
    Token(false);  // anything between it and the next ';' is dropped
    return value;
  }

  std::string Value() {
    while (!AtEnd() && IsBlankChar(text_[at_])) ++at_;
    if (!AtEnd() && text_[at_] == '"') return Quoted();
    return Token(false);
  }

  // Skips the ';' or '=' the reader stands on.
  bool Take(char c) {
    if (AtEnd() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

 private:
  static bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }

  std::string_view text_;
  std::size_t at_ = 0;
};

int HexDigit(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  char lower = LowerAsciiChar(c);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    int high = text[i] == '%' && i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
    int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
    if (low < 0) {
      bytes += text[i];
      continue;
    }
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return bytes;
}

// An extended value without its "charset'language'" prefix, decoded.
std::string ExtendedValue(std::string_view text) {
  std::size_t first = text.find('\'');
  std::size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
  if (second != std::string_view::npos) text.remove_prefix(second + 1);
  return PercentDecoded(text);
}

std::optional<std::string> Find(const TMimeField& field, const std::string& attribute) {
  auto found = field.Raw.find(attribute);
  if (found == field.Raw.end()) return std::nullopt;
  return found->second;
}

// The sections name*0, name*1, ... in order; section 0 of the extended
// form carries the charset prefix.
std::optional<std::string> JoinedSections(const TMimeField& field, const std::string& name) {
  std::string joined;
  bool any = false;
  for (int i = 0; i < kMaxSections; ++i) {
    std::string section = name + "*" + std::to_string(i);
    if (std::optional<std::string> extended = Find(field, section + "*")) {
      joined += i == 0 ? ExtendedValue(*extended) : PercentDecoded(*extended);
    } else if (std::optional<std::string> plain = Find(field, section)) {
      joined += *plain;
    } else {
      break;
    }
    any = true;
  }
  return any ? std::optional<std::string>(joined) : std::nullopt;
}

}  // namespace

TMimeField ParseMimeField(std::string_view text) {
  FieldReader reader(text);
  TMimeField field{LowerAscii(reader.Token(false))};
  while (reader.Take(';')) {
    std::string attribute = LowerAscii(reader.Token(true));
    if (!reader.Take('=')) continue;
    std::string value = reader.Value();
    if (!attribute.empty()) field.Raw.emplace(attribute, std::move(value));
  }
  return field;
}

std::string MimeParameter(const TMimeField& field, std::string_view name) {
  std::string attribute = LowerAscii(name);
  if (std::optional<std::string> extended = Find(field, attribute + "*")) {
    return ExtendedValue(*extended);
  }
  if (std::optional<std::string> joined = JoinedSections(field, attribute)) return *joined;
  return DecodeEncodedWords(Find(field, attribute).value_or(""));
}

}  // namespace qb
