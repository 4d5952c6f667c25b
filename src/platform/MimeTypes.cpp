#include "platform/MimeTypes.h"

#include "platform/FileStore.h"

#include <optional>
#include <vector>

namespace qb {

namespace {

constexpr const char* kSystemMimeTypesPath = "/etc/mime.types";

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool IsFieldSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Splits one line (comment already removed) into its blank-separated words.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && IsFieldSeparator(line[pos])) ++pos;
    std::size_t end = pos;
    while (end < line.size() && !IsFieldSeparator(line[end])) ++end;
    if (end > pos) words.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

const IMimeTypes*& Installed() {
  static const IMimeTypes* types = nullptr;
  return types;
}

}  // namespace

MimeTypeTable MimeTypeTable::FromText(std::string_view text) {
  MimeTypeTable table;
  while (!text.empty()) {
    std::size_t lineEnd = text.find('\n');
    std::string_view line = text.substr(0, lineEnd);
    text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd + 1);
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words = Words(line);
    if (words.size() < 2) continue;
    table.extensions_.emplace(LowerAscii(words[0]), "." + std::string(words[1]));
  }
  return table;
}

MimeTypeTable MimeTypeTable::FromFile(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  return text ? FromText(*text) : MimeTypeTable();
}

std::string MimeTypeTable::ExtensionFor(std::string_view contentType) const {
  auto found = extensions_.find(LowerAscii(contentType));
  return found == extensions_.end() ? std::string() : found->second;
}

const IMimeTypes& CurrentMimeTypes() {
  static const MimeTypeTable system = MimeTypeTable::FromFile(kSystemMimeTypesPath);
  const IMimeTypes* installed = Installed();
  return installed ? *installed : system;
}

const IMimeTypes* InstallMimeTypes(const IMimeTypes* types) {
  const IMimeTypes* previous = Installed();
  Installed() = types;
  return previous;
}

}  // namespace qb
