#include "screening/ScreeningState.h"

#include "platform/FileStore.h"
#include "screening/FileNames.h"
#include "screening/ListFile.h"

namespace qb {

namespace {

constexpr std::string_view kStemSeparators{".@#/\\\0", 6};
constexpr const char* kMarkerExtension = ".UID";
constexpr const char* kNoUid = "0";

}  // namespace

std::int64_t MessageSizeTable::Get(std::int64_t number) const {
  auto found = sizes_.find(number);
  return found == sizes_.end() ? 0 : found->second;
}

std::string MakeUidFileStem(std::string_view accountText) {
  std::string stem(accountText);
  for (char& c : stem) {
    if (kStemSeparators.find(c) != std::string_view::npos) c = '_';
  }
  return BoundedName(TrimBlanks(stem));
}

std::string UidMarkerFile(const std::string& programFolder, const std::string& uidFileStem) {
  return programFolder + uidFileStem + kMarkerExtension;
}

std::string UidMarkerFile(const ScreeningState& state) {
  return UidMarkerFile(state.ProgramFolder, state.UidFileStem);
}

std::string ReadUidMarker(const std::string& path) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return kNoUid;
  TextLines lines = ParseListText(*bytes);
  if (lines.empty() || lines.front().empty()) return kNoUid;
  return lines.front();
}

bool WriteUidMarker(const std::string& path, std::string_view uid) {
  return WriteFileAtomically(path, FormatListText({std::string(uid)}), kPrivateFileMode);
}

}  // namespace qb
