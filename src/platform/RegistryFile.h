// The registry-export text format: a header line, then blocks of one empty
// line, a key line "[ROOT\path]" and one line per value ("name"=data, @=data
// for the default value). Long hexadecimal data continues on further lines
// after a trailing backslash.
#pragma once

#include "platform/Registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kRegedit5Header = "Windows Registry Editor Version 5.00";

// How REG_SZ text is quoted.
enum class TStringStyle {
  // Backslashes doubled; quotes inside the text written as they are; no
  // quotes added around a text that begins or ends with a double quote.
  ssBackup,
  // Backslashes and quotes escaped, always quoted; data that is not one
  // NUL-terminated text is written in hexadecimal, so nothing is lost.
  ssLossless,
};

std::string EscapeBackslashes(std::string_view text);

// "HKEY_CURRENT_USER" and so on; "" for a handle that is not a root key.
std::string_view RootKeyName(HKEY root);
std::string KeyLine(HKEY root, std::string_view keyPath);

// The value's line, and its continuation lines for long hexadecimal data.
std::vector<std::string> ValueLines(std::string_view name, DWORD type, std::string_view data,
                                    TStringStyle style);

// The bytes of an export file, or nullopt when it cannot be read (a folder
// or a read error included).
std::optional<std::string> ReadExportFile(const std::string& path);

// Lines split at CR, LF or CR LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);
// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// The whole data as an export file (ssLossless).
std::string RenderRegistryExport(const RegistryRoots& roots);

// Adds the keys and values of an export file to `roots`; a value line "=-"
// removes the value. False, with `error` telling the line and the fault,
// when the text is not in the format; `roots` may then hold part of it.
bool ImportRegistryExport(std::string_view text, RegistryRoots& roots, std::string& error);

}  // namespace qb
