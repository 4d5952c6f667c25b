// The value and parameters of a structured MIME field (Content-Type,
// Content-Disposition) read from its unfolded text: tokens and quoted
// strings, and the RFC 2231 forms of a parameter, an extended value
// `name*=charset'language'%XX...` and continuations `name*0=`, `name*1*=`
// joined in order. Percent-decoded bytes are kept as they are (no charset
// conversion, as for encoded words).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace qb {

struct TMimeField {
  std::string Value;                         // "multipart/mixed", in lower case
  std::map<std::string, std::string> Raw{};  // attribute (lower case) -> value as written
};

// Parses the text after the field's colon. A parameter given twice keeps
// its first value; a quoted string loses its quotes and backslash escapes.
TMimeField ParseMimeField(std::string_view text);

// The parameter's value with its RFC 2231 sections joined and decoded; a
// plain value has its encoded words decoded (mailers put them in file
// names). Empty when the field has no such parameter.
std::string MimeParameter(const TMimeField& field, std::string_view name);

}  // namespace qb
