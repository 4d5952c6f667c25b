// GetAttachmentName over header lines: always a usable file name.
#include "FuzzInput.h"
#include "screening/AttachmentName.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const qb::MimeTypeTable types =
      qb::MimeTypeTable::FromText("text/plain txt\napplication/pdf pdf\nimage/png png\n");
  std::string name = qb::GetAttachmentName(qb::fuzz::AsLines(data, size), types);
  qb::fuzz::Require(name.size() <= 254);
  for (char c : name) {
    qb::fuzz::Require(static_cast<unsigned char>(c) > 31);
    qb::fuzz::Require(std::string_view(":\\/*?\"<>|'").find(c) == std::string_view::npos);
  }
  return 0;
}
