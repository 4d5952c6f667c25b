// ImportRegistryExport: any text, accepted or refused; what it accepted must
// render and import again to the same export.
#include "FuzzInput.h"
#include "platform/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qb::RegistryRoots roots;
  std::string error;
  if (!qb::ImportRegistryExport(qb::fuzz::AsText(data, size), roots, error)) return 0;
  std::string rendered = qb::RenderRegistryExport(roots);
  qb::RegistryRoots again;
  qb::fuzz::Require(qb::ImportRegistryExport(rendered, again, error));
  qb::fuzz::Require(qb::RenderRegistryExport(again) == rendered);
  return 0;
}
