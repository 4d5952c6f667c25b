// The MIME content-type table: which file extension belongs to a content
// type. The program reads the system's table (/etc/mime.types); tests install
// a table of their own.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace qb {

class IMimeTypes {
 public:
  virtual ~IMimeTypes() = default;
  // The extension registered for the content type, with its dot (".txt"),
  // or the empty text for an unknown type. Content types ignore ASCII case.
  virtual std::string ExtensionFor(std::string_view contentType) const = 0;
};

// A table in mime.types format: one content type per line followed by its
// extensions, separated by blanks or tabs; '#' starts a comment. The first
// extension of a type is the one given back; a type listed twice keeps its
// first line.
class MimeTypeTable : public IMimeTypes {
 public:
  static MimeTypeTable FromText(std::string_view text);
  // The table in the file; an empty table when the file cannot be read.
  static MimeTypeTable FromFile(const std::string& path);

  std::string ExtensionFor(std::string_view contentType) const override;
  std::size_t size() const { return extensions_.size(); }

 private:
  std::unordered_map<std::string, std::string> extensions_;  // lower-case type -> ".ext"
};

// The table in use: the system's /etc/mime.types until one is installed.
// The installer keeps the object alive while it is installed.
const IMimeTypes& CurrentMimeTypes();
const IMimeTypes* InstallMimeTypes(const IMimeTypes* types);  // returns the previous one

}  // namespace qb
