#include "app/ListFiles.h"

#include <filesystem>
#include <system_error>

#include "app/ProgramFolder.h"
#include "platform/Dialogs.h"
#include "screening/BlockEntries.h"
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

TextLines WithoutShortEntries(const char* name, const TextLines& entries) {
  TextLines ignored;
  TextLines usable = UsableBlockEntries(entries, ignored);
  if (!ignored.empty()) {
    CurrentDialogs().ShowMessageBox(IgnoredEntriesText(name, ignored), TMsgDlgType::mtWarning);
  }
  return usable;
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
  state.VirusList = WithoutShortEntries(kVirusListFile, LoadReported(folder, kVirusListFile));
  state.AttachmentList =
      Missing(ProgramFile(folder, kAttachmentListFile))
          ? TextLines{}
          : WithoutShortEntries(kAttachmentListFile, LoadReported(folder, kAttachmentListFile));
  state.SubjectList =
      WithoutShortEntries(kSubjectListFile, LoadBlockList(folder, kSubjectListFile));
  state.SenderList = WithoutShortEntries(kSenderListFile, LoadBlockList(folder, kSenderListFile));
  state.RecipientList =
      WithoutShortEntries(kRecipientListFile, LoadBlockList(folder, kRecipientListFile));
  state.SpamFlags.clear();
  state.DnsblList = ReadListFile(ProgramFile(folder, kDnsblListFile)).value_or(TextLines{});
  state.FriendList = LoadBlockList(folder, kFriendListFile);
}

std::optional<TextLines> ReloadBlockList(const std::string& path) {
  if (Missing(path)) return TextLines{};
  return ReadListFile(path);
}

}  // namespace qb
