#include "setup/SetupOptions.h"

#include "screening/ListFile.h"

namespace qb {

namespace {

std::string OptionsPath(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + kOptionsFile;
}

}  // namespace

std::string ReadSetupPrompt(const std::string& programFolder) {
  std::optional<TextLines> lines = ReadListFile(OptionsPath(programFolder));
  if (!lines || lines->empty()) return "Y";
  return lines->front();
}

bool WriteSetupPrompt(const std::string& programFolder, bool doNotShowAgain) {
  return WriteListFile(OptionsPath(programFolder), {doNotShowAgain ? "N" : "Y"});
}

}  // namespace qb
