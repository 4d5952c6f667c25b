#include "app/FirstRun.h"

#include <filesystem>
#include <system_error>

#include "app/ProgramFolder.h"
#include "platform/FileStore.h"
#include "setup/SetupOptions.h"
#include "setup/untAccounts.h"

namespace qb {

std::string HelpFilePath(const std::string& programFolder) {
  std::string path = ProgramFile(programFolder, kHelpFile);
  std::error_code error;
  if (std::filesystem::exists(path, error)) return path;
  return ProgramFile(ExecutableFolder(), kHelpFile);
}

bool IsSetupPromptNeeded(const std::string& programFolder) {
  AccountStore store = DetectAccountStore();
  std::string account = GetDefaultAccountKey(store);
  std::string prompt = ReadSetupPrompt(programFolder);
  return ReadAccountString(store, account, "POP3 Server") != kGatewayHost && prompt != "N";
}

bool FirstRunDone(const std::string& programFolder) {
  std::error_code error;
  return std::filesystem::exists(ProgramFile(programFolder, kFirstRunFile), error);
}

void MarkFirstRunDone(const std::string& programFolder) {
  WriteFileAtomically(ProgramFile(programFolder, kFirstRunFile),
                      "The first start's help, usage dialog and setup prompt were shown.\n");
}

}  // namespace qb
