#include "screening/ListFile.h"

#include <algorithm>

#include "platform/FileStore.h"
#include "platform/PrivateFiles.h"

namespace qb {

TextLines ParseListText(std::string_view text) {
  TextLines entries;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      entries.emplace_back(text.substr(start));
      break;
    }
    entries.emplace_back(text.substr(start, end - start));
    bool crLf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    start = end + (crLf ? 2 : 1);
  }
  return entries;
}

std::string FormatListText(const TextLines& entries) {
  std::string text;
  for (const std::string& entry : entries) {
    text += entry;
    text += "\r\n";
  }
  return text;
}

std::optional<TextLines> ReadListFile(const std::string& path) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return ParseListText(*bytes);
}

bool WriteListFile(const std::string& path, const TextLines& entries) {
  return WriteFileAtomically(path, FormatListText(entries), ProgramFileMode(path));
}

bool ListContains(const TextLines& entries, std::string_view text) {
  return std::any_of(entries.begin(), entries.end(), [text](const std::string& entry) {
    return EqualsIgnoringAsciiCase(entry, text);
  });
}

}  // namespace qb
