#include "screening/MimeParts.h"

#include <optional>

#include "screening/HeaderFields.h"
#include "screening/MimeParameters.h"

namespace qb {

namespace {

// Multiparts nested deeper than this are not followed.
constexpr std::size_t kMaxDepth = 8;

struct TPartHeader {
  TMimeField Type;
  TMimeField Disposition;
};

TPartHeader ReadPartHeader(const TextLines& lines) {
  return {ParseMimeField(FieldText(lines, "Content-Type")),
          ParseMimeField(FieldText(lines, "Content-Disposition"))};
}

std::string FileNameOf(const TPartHeader& part) {
  std::string name = MimeParameter(part.Disposition, "filename");
  return name.empty() ? MimeParameter(part.Type, "name") : name;
}

struct TDelimiter {
  std::size_t Depth;  // the index of its boundary
  bool Closing;
};

// A delimiter line "--boundary" or closing "--boundary--", with blanks
// after it allowed; the innermost boundary is tried first.
std::optional<TDelimiter> DelimiterOf(std::string_view line, const TextLines& boundaries) {
  if (!line.starts_with("--")) return std::nullopt;
  line.remove_prefix(2);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  for (std::size_t depth = boundaries.size(); depth-- > 0;) {
    const std::string& boundary = boundaries[depth];
    if (!line.starts_with(boundary)) continue;
    std::string_view rest = line.substr(boundary.size());
    if (rest.empty() || rest == "--") return TDelimiter{depth, !rest.empty()};
  }
  return std::nullopt;
}

// The name of a uuencoded file's "begin 644 name" line; empty otherwise.
std::string UuencodedName(std::string_view line) {
  if (!line.starts_with("begin ") || line.size() < 11 || line[9] != ' ') return {};
  for (char c : line.substr(6, 3)) {
    if (c < '0' || c > '7') return {};
  }
  return TrimBlanks(line.substr(10));
}

class PartWalker {
 public:
  explicit PartWalker(const TextLines& body) : body_(body) {}

  void Take(const TPartHeader& part) {
    if (std::string name = FileNameOf(part); !name.empty()) names_.push_back(std::move(name));
    auto boundary = part.Type.Raw.find("boundary");
    if (part.Type.Value.starts_with("multipart/") && boundary != part.Type.Raw.end() &&
        !boundary->second.empty() && boundaries_.size() < kMaxDepth) {
      boundaries_.push_back(boundary->second);
    }
  }

  void Walk() {
    while (at_ < body_.size()) {
      const std::string& line = body_[at_++];
      std::optional<TDelimiter> delimiter = DelimiterOf(line, boundaries_);
      if (!delimiter) {
        if (std::string name = UuencodedName(line); !name.empty()) names_.push_back(name);
        continue;
      }
      boundaries_.resize(delimiter->Depth + (delimiter->Closing ? 0 : 1));
      if (!delimiter->Closing) TakePart();
    }
  }

  TextLines Names() && { return std::move(names_); }

 private:
  // The lines up to the next empty one (or the end of what came).
  TextLines HeaderBlock() {
    TextLines lines;
    while (at_ < body_.size() && !body_[at_].empty()) lines.push_back(body_[at_++]);
    ++at_;
    return lines;
  }

  // A part's header; an attached message's own header follows it.
  void TakePart() {
    TPartHeader part = ReadPartHeader(HeaderBlock());
    Take(part);
    if (part.Type.Value == "message/rfc822") Take(ReadPartHeader(HeaderBlock()));
  }

  const TextLines& body_;
  std::size_t at_ = 0;
  TextLines boundaries_;
  TextLines names_;
};

}  // namespace

bool IsMultipart(const TextLines& header) {
  return ReadPartHeader(header).Type.Value.starts_with("multipart/");
}

TextLines PartFileNames(const TextLines& header, const TextLines& body) {
  PartWalker walker(body);
  walker.Take(ReadPartHeader(header));
  walker.Walk();
  return std::move(walker).Names();
}

}  // namespace qb
