#include "app/ListFiles.h"

#include <filesystem>
#include <system_error>

#include "app/ProgramFolder.h"
#include "platform/Dialogs.h"
#include "screening/ListFile.h"

namespace qb {

namespace {

bool Missing(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() ==
         std::filesystem::file_type::not_found;
}

TextLines LoadReported(const std::string& folder, const char* name) {
  std::string path = ProgramFile(folder, name);
  std::optional<TextLines> entries = ReadListFile(path);
  if (entries) return std::move(*entries);
  CurrentDialogs().ShowMessageBox(CannotOpenFileText(path), TMsgDlgType::mtError);
  return {};
}

// A block list the user has not made yet is an empty list, and its file is
// made now, without a message: a fresh program folder is no error. One that
// exists but cannot be read is reported.
TextLines LoadBlockList(const std::string& folder, const char* name) {
  std::string path = ProgramFile(folder, name);
  if (!Missing(path)) return LoadReported(folder, name);
  WriteListFile(path, {});
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
  state.SubjectList = LoadBlockList(folder, kSubjectListFile);
  state.SenderList = LoadBlockList(folder, kSenderListFile);
  state.RecipientList = LoadBlockList(folder, kRecipientListFile);
  state.SpamFlags.clear();
  state.DnsblList = ReadListFile(ProgramFile(folder, kDnsblListFile)).value_or(TextLines{});
}

std::optional<TextLines> ReloadBlockList(const std::string& path) {
  if (Missing(path)) return TextLines{};
  return ReadListFile(path);
}

}  // namespace qb
