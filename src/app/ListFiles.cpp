#include "app/ListFiles.h"

#include <filesystem>
#include <system_error>

#include "app/ProgramFolder.h"
#include "platform/Dialogs.h"
#include "screening/ListFile.h"

namespace qb {

namespace {

TextLines LoadReported(const std::string& folder, const char* name) {
  std::string path = ProgramFile(folder, name);
  std::optional<TextLines> entries = ReadListFile(path);
  if (entries) return std::move(*entries);
  CurrentDialogs().ShowMessageBox(CannotOpenFileText(path), TMsgDlgType::mtError);
  return {};
}

}  // namespace

std::string CannotOpenFileText(const std::string& path) {
  return "Cannot open file " + path;
}

std::string CannotCreateFileText(const std::string& path) {
  return "Cannot create file " + path;
}

void LoadListFiles(ScreeningState& state) {
  const std::string& folder = state.ProgramFolder;
  state.VirusList = LoadReported(folder, kVirusListFile);
  state.SubjectList = LoadReported(folder, kSubjectListFile);
  state.SenderList = LoadReported(folder, kSenderListFile);
  state.RecipientList = LoadReported(folder, kRecipientListFile);
  state.SpamFlags.clear();
  state.DnsblList = ReadListFile(ProgramFile(folder, kDnsblListFile)).value_or(TextLines{});
}

std::optional<TextLines> ReloadBlockList(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return TextLines{};
  return ReadListFile(path);
}

}  // namespace qb
