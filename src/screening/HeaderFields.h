// Looking up fields and parameters in the lines of a message header. Only
// the first physical line of a field is read; folded continuation lines are
// not joined, but for UnfoldedFields and FieldText. Every function is lenient and keeps no state.
// SplitField, the field splitter of this family, is shared with the gateway's login split and lives
// in platform/AsciiText.h.
#pragma once

#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

// Index of the k-th line (from 0) that begins with `prefix`, ignoring the
// case of a to z; -1 if there is none.
int FindHeaderLine(const TextLines& lines, std::string_view prefix, int k);

// Whether some line begins with the field name followed by ":".
bool HasHeader(const TextLines& lines, std::string_view fieldName);

// The value of one field line: what follows the first colon outside double
// quotes, up to the next semicolon outside quotes, trimmed and unquoted.
std::string HeaderLineValue(std::string_view line);

// The value of the field's first line, trimmed and with one pair of
// enclosing quotes (double or single) removed; empty if the field is absent.
std::string GetHeaderValue(const TextLines& lines, std::string_view fieldName);

// The value of a "name=value" parameter of one field line; the values of a
// parameter given twice are joined.
std::string GetHeaderParam(std::string_view line, std::string_view paramName);

// Whether the field's first line has a non-empty value for the parameter.
bool HasHeaderParam(const TextLines& lines, std::string_view fieldName, std::string_view paramName);

// That value, with one pair of enclosing quotes removed as GetHeaderValue does.
std::string GetHeaderParamValue(const TextLines& lines, std::string_view fieldName,
                                std::string_view paramName);

// The fields of a header, one entry each: a line that begins with a blank
// or a tab continues the field before it and is joined to it (the line
// break of the fold goes, the blank stays).
TextLines UnfoldedFields(const TextLines& lines);

// The field's whole text, as an unstructured field such as Subject is read:
// everything after the colon of its first occurrence, continuation lines
// joined, trimmed; nothing is cut at a semicolon or unquoted. Empty if the
// field is absent.
std::string FieldText(const TextLines& lines, std::string_view fieldName);

}  // namespace qb
