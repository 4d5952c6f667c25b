// The text format of options.txt and every list file: one entry per line,
// kept exactly as it stands. Written with CR LF after every entry; read with
// CR, LF or CR LF as line ends, a final line end giving no extra entry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb {

TextLines ParseListText(std::string_view text);
std::string FormatListText(const TextLines& entries);

// The entries of the file; nullopt when it cannot be read.
std::optional<TextLines> ReadListFile(const std::string& path);
// Rewrites the whole file through a temporary file and a rename; false when
// it cannot be written (the old file is then left as it was).
bool WriteListFile(const std::string& path, const TextLines& entries);

// Whether the list holds the text as a whole entry, ignoring ASCII case.
bool ListContains(const TextLines& entries, std::string_view text);

}  // namespace qb
