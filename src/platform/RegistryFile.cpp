#include "platform/RegistryFile.h"

#include "platform/FileStore.h"

#include <array>
#include <cstdio>
#include <ios>

namespace qb {

namespace {

constexpr std::array<std::string_view, kRootKeyCount> kRootNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

// Bytes per continuation line in hexadecimal data.
constexpr std::size_t kBytesPerLine = 25;

std::string UpperHex(std::uint32_t number, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, number);
  return text;
}

std::string EscapeBackslashesAndQuotes(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string NamePart(std::string_view name, TStringStyle style) {
  if (name.empty()) return "@";
  std::string escaped =
      style == TStringStyle::ssBackup ? EscapeBackslashes(name) : EscapeBackslashesAndQuotes(name);
  return '"' + escaped + '"';
}

std::string_view TextBeforeNul(std::string_view data) {
  return data.substr(0, data.find('\0'));
}

bool IsOneTerminatedText(std::string_view data) {
  return !data.empty() && data.find('\0') == data.size() - 1;
}

std::string BackupStringData(std::string_view text) {
  std::string escaped = EscapeBackslashes(text);
  bool quotedAlready = !text.empty() && (text.front() == '"' || text.back() == '"');
  return quotedAlready ? escaped : '"' + escaped + '"';
}

std::uint32_t LittleEndianNumber(std::string_view data) {
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < data.size() && i < 4; ++i) {
    number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  return number;
}

// The bytes as "XX," (or "XX,00," in the wide form), breaking the line after
// the separator of byte 25 and of every 25th byte after it.
std::vector<std::string> HexLines(std::string line, std::string_view bytes, bool wide) {
  std::vector<std::string> lines;
  for (std::size_t b = 0; b < bytes.size(); ++b) {
    line += UpperHex(static_cast<unsigned char>(bytes[b]), 2);
    if (wide) line += ",00";
    if (b + 1 == bytes.size()) break;
    line += ',';
    if (b > 0 && b % kBytesPerLine == 0) {
      lines.push_back(line + '\\');
      line.clear();
    }
  }
  lines.push_back(line);
  return lines;
}

std::vector<std::string> TypedHexLines(const std::string& head, DWORD type, std::string_view data) {
  if (type == REG_BINARY) return HexLines(head + "hex:", data, false);
  return HexLines(head + "hex(" + UpperHex(type, 1) + "):", data, true);
}

void RenderKey(HKEY root, const std::string& path, const RegistryKey& key,
               std::vector<std::string>& lines) {
  if (!path.empty() || !key.values.empty()) {
    lines.emplace_back();
    lines.push_back(KeyLine(root, path));
    for (const RegistryValue& value : key.values) {
      auto valueLines = ValueLines(value.name, value.type, value.data, TStringStyle::ssLossless);
      lines.insert(lines.end(), valueLines.begin(), valueLines.end());
    }
  }
  for (const RegistryKey& subkey : key.subkeys) {
    RenderKey(root, path.empty() ? subkey.name : path + '\\' + subkey.name, subkey, lines);
  }
}

// Reads an export file line by line into the roots.
class ExportReader {
 public:
  ExportReader(std::string_view text, RegistryRoots& roots)
      : lines_(SplitLines(text)), roots_(roots) {}

  bool Read(std::string& error);

 private:
  bool ReadHeader();
  bool ReadKeyLine(std::string_view line);
  bool ReadValueLine(std::string_view line);
  bool ReadName(std::string_view line, std::string& name, std::size_t& dataStart);
  bool JoinContinuations(std::string& data);
  bool StoreData(const std::string& name, std::string_view data);
  bool Fail(std::string reason) {
    reason_ = std::move(reason);
    return false;
  }

  std::vector<std::string> lines_;
  std::size_t index_ = 0;
  RegistryRoots& roots_;
  RegistryKey* current_ = nullptr;
  std::string reason_;
};

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view TrimmedRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view TrimmedLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHexNumber(std::string_view text, std::size_t maxDigits, std::uint32_t& number) {
  text = TrimmedLeft(TrimmedRight(text));
  if (text.empty() || text.size() > maxDigits) return false;
  number = 0;
  for (char c : text) {
    int digit = HexDigitValue(c);
    if (digit < 0) return false;
    number = number * 16 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

bool ParseHexBytes(std::string_view text, std::string& bytes) {
  if (IsBlank(text)) return true;
  while (true) {
    std::size_t comma = text.find(',');
    std::uint32_t byte = 0;
    if (!ParseHexNumber(text.substr(0, comma), 2, byte)) return false;
    bytes += static_cast<char>(byte);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

// The wide form writes each byte followed by 00; such data is stored as the
// single bytes again.
std::string NarrowedIfWide(const std::string& bytes) {
  if (bytes.size() % 2 != 0) return bytes;
  std::string narrow;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    if (bytes[i + 1] != '\0') return bytes;
    narrow += bytes[i];
  }
  return narrow;
}

std::string UnescapedText(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      ++i;
    }
    plain += text[i];
  }
  return plain;
}

bool ExportReader::Read(std::string& error) {
  bool ok = ReadHeader();
  while (ok && index_ < lines_.size()) {
    std::string_view line = TrimmedRight(lines_[index_++]);
    if (line.empty() || line.front() == ';') continue;
    ok = line.front() == '[' ? ReadKeyLine(line) : ReadValueLine(line);
  }
  if (!ok) error = "line " + std::to_string(index_) + ": " + reason_;
  return ok;
}

bool ExportReader::ReadHeader() {
  while (index_ < lines_.size() && IsBlank(lines_[index_])) ++index_;
  if (index_ == lines_.size()) return Fail("no header");
  std::string_view header = TrimmedRight(lines_[index_++]);
  if (header != kRegedit4Header && header != kRegedit5Header) return Fail("unknown header");
  return true;
}

bool ExportReader::ReadKeyLine(std::string_view line) {
  if (line.back() != ']') return Fail("key line without \"]\"");
  std::string_view inner = line.substr(1, line.size() - 2);
  if (!inner.empty() && inner.front() == '-') return Fail("deleting a key is not supported");
  std::size_t slash = inner.find('\\');
  std::string_view rootName = inner.substr(0, slash);
  std::size_t root = 0;
  while (root < kRootKeyCount && !SameNameIgnoringCase(kRootNames[root], rootName)) ++root;
  if (root == kRootKeyCount) return Fail("unknown root key");
  auto names = SplitKeyPath(slash == std::string_view::npos ? "" : inner.substr(slash + 1));
  if (!names) return Fail("empty key name in the path");
  current_ = &roots_[root];
  for (const std::string& name : *names) current_ = &current_->AddSubkey(name);
  return true;
}

bool ExportReader::ReadValueLine(std::string_view line) {
  if (!current_) return Fail("value line before the first key line");
  std::string name;
  std::size_t dataStart = 0;
  if (!ReadName(line, name, dataStart)) return false;
  std::string data(TrimmedLeft(line.substr(dataStart)));
  if (data.starts_with("hex") && !JoinContinuations(data)) return false;
  return StoreData(name, data);
}

bool ExportReader::ReadName(std::string_view line, std::string& name, std::size_t& dataStart) {
  if (line.front() == '@') {
    std::size_t equals = line.find_first_not_of(" \t", 1);
    if (equals == std::string_view::npos || line[equals] != '=') return Fail("\"=\" missing");
    dataStart = equals + 1;
    return true;
  }
  if (line.front() != '"') return Fail("value name not in double quotes");
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      name += line[++i];
    } else if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '=') {
      dataStart = i + 2;
      return true;
    } else {
      name += line[i];
    }
  }
  return Fail("value name not closed by \"=");
}

bool ExportReader::JoinContinuations(std::string& data) {
  while (!data.empty() && data.back() == '\\') {
    data.pop_back();
    if (index_ == lines_.size()) return Fail("continuation line missing");
    data += TrimmedLeft(TrimmedRight(lines_[index_++]));
  }
  return true;
}

bool ExportReader::StoreData(const std::string& name, std::string_view data) {
  std::uint32_t number = 0;
  std::string bytes;
  if (data == "-") {
    current_->RemoveValue(name);
  } else if (data.starts_with("dword:")) {
    if (!ParseHexNumber(data.substr(6), 8, number)) return Fail("bad dword");
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
    current_->SetValue(name, REG_DWORD, bytes);
  } else if (data.starts_with("hex:")) {
    if (!ParseHexBytes(data.substr(4), bytes)) return Fail("bad hexadecimal data");
    current_->SetValue(name, REG_BINARY, bytes);
  } else if (data.starts_with("hex(")) {
    std::size_t close = data.find("):");
    if (close == std::string_view::npos || !ParseHexNumber(data.substr(4, close - 4), 8, number) ||
        !ParseHexBytes(data.substr(close + 2), bytes)) {
      return Fail("bad hexadecimal data");
    }
    current_->SetValue(name, number, NarrowedIfWide(bytes));
  } else if (!data.empty() && (data.front() == '"' || data.back() == '"')) {
    bool quoted = data.size() >= 2 && data.front() == '"' && data.back() == '"';
    std::string text = UnescapedText(quoted ? data.substr(1, data.size() - 2) : data);
    current_->SetValue(name, REG_SZ, text + '\0');
  } else {
    return Fail("unknown value data");
  }
  return true;
}

}  // namespace

std::string EscapeBackslashes(std::string_view text) {
  std::string escaped(text);
  for (std::size_t i = escaped.size(); i > 0; --i) {
    if (escaped[i - 1] == '\\') escaped.insert(i - 1, 1, '\\');
  }
  return escaped;
}

std::string_view RootKeyName(HKEY root) {
  std::size_t index = root - HKEY_CLASSES_ROOT;
  return root >= HKEY_CLASSES_ROOT && index < kRootKeyCount ? kRootNames[index] : "";
}

std::string KeyLine(HKEY root, std::string_view keyPath) {
  std::string line = "[" + std::string(RootKeyName(root));
  if (!keyPath.empty()) line += "\\" + std::string(keyPath);
  return line + "]";
}

std::vector<std::string> ValueLines(std::string_view name, DWORD type, std::string_view data,
                                    TStringStyle style) {
  std::string head = NamePart(name, style) + "=";
  bool backup = style == TStringStyle::ssBackup;
  if (type == REG_SZ && backup) return {head + BackupStringData(TextBeforeNul(data))};
  if (type == REG_SZ && IsOneTerminatedText(data)) {
    return {head + '"' + EscapeBackslashesAndQuotes(TextBeforeNul(data)) + '"'};
  }
  if (type == REG_DWORD && (backup || data.size() == 4)) {
    return {head + "dword:" + UpperHex(LittleEndianNumber(data), 8)};
  }
  return TypedHexLines(head, type, data);
}

std::optional<std::string> ReadExportFile(const std::string& path) {
  try {
    return ReadWholeFile(path);
  } catch (const std::ios_base::failure&) {
    // Reading a folder, or a failing disk, ends in a stream exception.
    return std::nullopt;
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string RenderRegistryExport(const RegistryRoots& roots) {
  std::vector<std::string> lines{std::string(kRegedit5Header)};
  for (std::size_t root = 0; root < kRootKeyCount; ++root) {
    RenderKey(HKEY_CLASSES_ROOT + static_cast<HKEY>(root), "", roots[root], lines);
  }
  return JoinLines(lines);
}

bool ImportRegistryExport(std::string_view text, RegistryRoots& roots, std::string& error) {
  return ExportReader(text, roots).Read(error);
}

}  // namespace qb
