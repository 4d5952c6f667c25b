#include "app/RemovalLog.h"

#include <algorithm>
#include <filesystem>

#include "platform/AsciiText.h"
#include "screening/ListFile.h"
#include "screening/RemovedMail.h"
#include "screening/RestoredMail.h"

namespace qb {

namespace {

constexpr int kFields = 9;

void FindCopy(const std::string& programFolder, TRemovalLogEntry& entry) {
  std::error_code error;
  for (const char* folder : {kRemovedFolder, kDeliverFolder}) {
    std::string path = programFolder + folder + entry.Copy;
    if (std::filesystem::is_regular_file(path, error)) {
      entry.CopyPath = path;
      entry.MarkedForDelivery = folder == kDeliverFolder;
      return;
    }
  }
}

}  // namespace

std::vector<TRemovalLogEntry> ReadRemovalLog(const std::string& programFolder) {
  std::vector<TRemovalLogEntry> entries;
  std::optional<TextLines> lines = ReadListFile(programFolder + kRemovedLogFile);
  if (!lines) return entries;
  for (auto line = lines->rbegin(); line != lines->rend(); ++line) {
    if (std::count(line->begin(), line->end(), '\t') != kFields - 1) continue;
    auto field = [&](int k) { return SplitField(*line, '\t', k); };
    TRemovalLogEntry entry{field(0), field(1), field(2), field(3), field(4),
                           field(5), field(6), field(7), field(8), {}};
    if (entry.Copy != kNoCopy && IsPlainFileName(entry.Copy)) FindCopy(programFolder, entry);
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace qb
