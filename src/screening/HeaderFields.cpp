#include "screening/HeaderFields.h"

namespace qb {

namespace {

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

// Drops a double quote at both ends (a lone quote leaves nothing).
std::string_view StripDoubleQuotes(std::string_view text) {
  if (text.empty() || text.front() != '"' || text.back() != '"') return text;
  return text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string_view();
}

// Drops a quote or apostrophe at both ends of a text longer than two.
std::string StripEnclosingQuotes(std::string_view text) {
  if (text.size() > 2 && IsQuote(text.front()) && IsQuote(text.back())) {
    text = text.substr(1, text.size() - 2);
  }
  return std::string(text);
}

int FieldLineIndex(const TextLines& lines, std::string_view fieldName) {
  return FindHeaderLine(lines, std::string(fieldName) + ":", 0);
}

// Walks a field line for GetHeaderParam.
class ParamCollector {
 public:
  explicit ParamCollector(std::string_view wanted) : wanted_(TrimBlanks(wanted)) {}

  void Feed(char c) {
    if (c == '"') inQuotes_ = !inQuotes_;
    if (!inQuotes_ && TakeDelimiter(c)) return;
    if (state_ == State::kName) name_ += c;
    if (state_ == State::kValue) value_ += c;
  }

  const std::string& Value() const { return value_; }

 private:
  enum class State { kFieldName, kFieldValue, kName, kValue, kSkipValue };

  bool TakeDelimiter(char c) {
    if (c == ':' && state_ == State::kFieldName) {
      state_ = State::kFieldValue;
      return true;
    }
    if (c == ';') {
      state_ = State::kName;
      name_.clear();
      return true;
    }
    if (c == '=' && state_ == State::kName) {
      state_ =
          EqualsIgnoringAsciiCase(TrimBlanks(name_), wanted_) ? State::kValue : State::kSkipValue;
      return true;
    }
    if (c == '=' && state_ == State::kValue) {
      state_ = State::kSkipValue;
      return true;
    }
    return false;
  }

  std::string wanted_;
  State state_ = State::kFieldName;
  bool inQuotes_ = false;
  std::string name_;
  std::string value_;
};

}  // namespace

int FindHeaderLine(const TextLines& lines, std::string_view prefix, int k) {
  if (k < 0) return -1;
  int matches = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!StartsWithIgnoringAsciiCase(lines[i], prefix)) continue;
    if (matches == k) return static_cast<int>(i);
    ++matches;
  }
  return -1;
}

bool HasHeader(const TextLines& lines, std::string_view fieldName) {
  return FieldLineIndex(lines, fieldName) >= 0;
}

std::string HeaderLineValue(std::string_view line) {
  bool inQuotes = false;
  bool afterColon = false;
  std::string value;
  for (char c : line) {
    if (c == '"') inQuotes = !inQuotes;
    if (!inQuotes && !afterColon && c == ':') {
      afterColon = true;
      continue;
    }
    if (!inQuotes && afterColon && c == ';') break;
    if (afterColon) value += c;
  }
  return std::string(StripDoubleQuotes(TrimBlanks(value)));
}

std::string GetHeaderValue(const TextLines& lines, std::string_view fieldName) {
  int index = FieldLineIndex(lines, fieldName);
  if (index < 0) return std::string();
  std::string value = HeaderLineValue(lines[static_cast<std::size_t>(index)]);
  return StripEnclosingQuotes(TrimBlanks(value));
}

std::string GetHeaderParam(std::string_view line, std::string_view paramName) {
  std::string text(TrimBlanks(line));
  if (text.empty() || text.back() != ';') text += ';';
  ParamCollector collector(paramName);
  for (char c : text) collector.Feed(c);
  return std::string(StripDoubleQuotes(TrimBlanks(collector.Value())));
}

bool HasHeaderParam(const TextLines& lines, std::string_view fieldName,
                    std::string_view paramName) {
  int index = FieldLineIndex(lines, fieldName);
  if (index < 0) return false;
  return !TrimBlanks(GetHeaderParam(lines[static_cast<std::size_t>(index)], paramName)).empty();
}

std::string GetHeaderParamValue(const TextLines& lines, std::string_view fieldName,
                                std::string_view paramName) {
  int index = FieldLineIndex(lines, fieldName);
  if (index < 0) return std::string();
  std::string value = GetHeaderParam(lines[static_cast<std::size_t>(index)], paramName);
  return StripEnclosingQuotes(TrimBlanks(value));
}

TextLines UnfoldedFields(const TextLines& lines) {
  TextLines fields;
  for (const std::string& line : lines) {
    bool continues = !line.empty() && (line.front() == ' ' || line.front() == '\t');
    if (continues && !fields.empty()) {
      fields.back() += line;
    } else {
      fields.push_back(line);
    }
  }
  return fields;
}

std::string FieldText(const TextLines& lines, std::string_view fieldName) {
  TextLines fields = UnfoldedFields(lines);
  int index = FieldLineIndex(fields, fieldName);
  if (index < 0) return std::string();
  const std::string& field = fields[static_cast<std::size_t>(index)];
  return TrimBlanks(std::string_view(field).substr(fieldName.size() + 1));
}

}  // namespace qb
