#include "screening/AttachmentName.h"

#include "screening/EncodedWords.h"
#include "screening/HeaderFields.h"

namespace qb {

namespace {

constexpr std::size_t kMaxFileNameLength = 254;
constexpr std::string_view kNotAllowedInFileName = ":\\/*?\"<>|'";

bool IsAllowedInFileName(char c) {
  return static_cast<unsigned char>(c) > 31 &&
         kNotAllowedInFileName.find(c) == std::string_view::npos;
}

std::string UndecodedAttachmentName(const TextLines& lines, const IMimeTypes& types) {
  if (HasHeaderParam(lines, "Content-Type", "name")) {
    return GetHeaderParamValue(lines, "Content-Type", "name");
  }
  if (HasHeaderParam(lines, "Content-Disposition", "filename")) {
    return GetHeaderParamValue(lines, "Content-Disposition", "filename");
  }
  if (HasHeader(lines, "Content-ID")) return GetHeaderValue(lines, "Content-ID");
  if (HasHeader(lines, "Content-Type")) {
    std::string contentType = GetHeaderValue(lines, "Content-Type");
    return contentType + ExtensionForContentType(contentType, types);
  }
  return "unknown";
}

}  // namespace

std::string ExtensionForContentType(std::string_view contentType, const IMimeTypes& types) {
  return types.ExtensionFor(contentType);
}

std::string SafeFileName(std::string_view text) {
  std::string name(TrimBlanks(text).substr(0, kMaxFileNameLength));
  for (char& c : name) {
    if (!IsAllowedInFileName(c)) c = '_';
  }
  return name;
}

std::string GetAttachmentName(const TextLines& lines, const IMimeTypes& types) {
  std::string name = DecodeEncodedWords(UndecodedAttachmentName(lines, types));
  if (name.find('.') == std::string::npos) {
    name += ExtensionForContentType(GetHeaderValue(lines, "Content-Type"), types);
  }
  return SafeFileName(name);
}

std::string AttachmentsText(const TextLines& header, const TextLines& partNames,
                            const IMimeTypes& types) {
  if (partNames.empty()) {
    return DecodeEncodedWords(GetAttachmentName(UnfoldedFields(header), types));
  }
  std::string joined;
  for (const std::string& name : partNames) {
    if (!joined.empty()) joined += ", ";
    joined += SafeFileName(name);
    if (joined.size() >= kMaxFileNameLength) break;
  }
  return SafeFileName(joined);
}

}  // namespace qb
