#include "screening/RemovedMail.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "platform/AsciiText.h"
#include "platform/FileStore.h"
#include "screening/FileNames.h"
#include "screening/ScreeningState.h"

namespace qb {

namespace {

std::string TimeText(std::chrono::system_clock::time_point when, const char* format) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::size_t length = std::strftime(text, sizeof text, format, &local);
  return std::string(text, length);
}

bool IsFileNameByte(char c) {
  return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
         c == '_' || c == '-';
}

std::string FileNameText(std::string text) {
  for (char& c : text) {
    if (!IsFileNameByte(c)) c = '_';
  }
  return text;
}

std::string OneLineField(std::string_view text) {
  std::string field(text);
  for (char& c : field) {
    if (c == '\t' || c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return field;
}

// Time and account, then the fields, each tab-separated and on one line.
std::string LogLine(std::chrono::system_clock::time_point when, std::string_view accountText,
                    std::initializer_list<std::string_view> fields) {
  std::string line =
      TimeText(when, "%Y-%m-%d %H:%M:%S") + '\t' + OneLineField(TrimBlanks(accountText));
  for (std::string_view field : fields) {
    line += '\t';
    line += OneLineField(field);
  }
  return line;
}

// The readable start of the account part of a copy's name.
constexpr std::size_t kReadableAccountPart = 48;

}  // namespace

TRemovalFacts RemovalFactsOf(const MessageRow& row) {
  return {row.Uid, row.Size, row.CategoryIcon, row.Rule, row.From, row.Subject};
}

const char* CategoryLogName(MessageCategory category) {
  switch (category) {
    case MessageCategory::mcVirus:
      return "virus";
    case MessageCategory::mcSpam:
      return "spam";
    case MessageCategory::mcBlockedSubject:
      return "blocked subject";
    case MessageCategory::mcBlockedSender:
      return "blocked sender";
    case MessageCategory::mcBlockedRecipient:
      return "blocked recipient";
    case MessageCategory::mcUseful:
    case MessageCategory::mcPending:
      break;
  }
  return "ticked by hand";
}

std::optional<std::string> MessageOfRetrReply(std::string_view reply) {
  std::size_t statusEnd = reply.find("\r\n");
  if (!reply.starts_with("+OK") || statusEnd == std::string_view::npos) return std::nullopt;
  std::string_view rest = reply.substr(statusEnd + 2);
  std::string message;
  message.reserve(rest.size());
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos) return std::nullopt;  // no terminator
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 2);
    if (line == ".") return message;
    if (line.starts_with('.')) line.remove_prefix(1);
    message.append(line);
    message.append("\r\n");
  }
  return std::nullopt;
}

std::string TSessionRemovals::CopyNameOf(std::int64_t number) const {
  auto found = CopyNames.find(number);
  return found == CopyNames.end() ? kNoCopy : found->second;
}

std::string LegacyCopyAccountPart(std::string_view accountText) {
  return FileNameText(MakeUidFileStem(accountText));
}

std::string CopyAccountPart(std::string_view accountText) {
  return LegacyCopyAccountPart(accountText).substr(0, kReadableAccountPart) + "~" +
         NameHash(TrimBlanks(accountText));
}

std::string RemovedCopyName(std::chrono::system_clock::time_point when,
                            std::string_view accountText, std::string_view uid) {
  return TimeText(when, "%Y%m%d-%H%M%S") + "-" + CopyAccountPart(accountText) + "-" +
         BoundedName(FileNameText(std::string(uid))) + ".eml";
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

bool StoreRemovedCopy(const std::string& folder, const std::string& name, std::string_view bytes) {
  TCopyBatch batch;
  return batch.Write(folder, name, bytes) && batch.Commit().empty();
}

std::string FormatRemovalLogLine(std::chrono::system_clock::time_point when,
                                 std::string_view accountText, const TRemovalFacts& facts,
                                 std::string_view copyName) {
  return LogLine(when, accountText,
                 {facts.Uid, facts.Size, CategoryLogName(facts.Category), facts.Rule, facts.From,
                  facts.Subject, copyName});
}

std::string FormatDeliveryLogLine(std::chrono::system_clock::time_point when,
                                  std::string_view accountText, const TRemovalFacts& facts,
                                  std::string_view copyName, bool retrieved) {
  return LogLine(when, accountText,
                 {facts.Uid, facts.Size, retrieved ? kDeliveredAgain : kDeliveryEnded, "",
                  facts.From, facts.Subject, copyName});
}

bool AppendRemovalLog(const std::string& path, std::string_view line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFileMode);
  if (fd < 0) return false;
  bool written = WriteAllToDescriptor(fd, std::string(line) + "\r\n") && fdatasync(fd) == 0;
  return close(fd) == 0 && written;
}

int RemoveOldCopies(const std::string& folder, int keepDays,
                    std::chrono::system_clock::time_point now) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return 0;
  auto oldest = now - std::chrono::hours(24) * keepDays;
  int removed = 0;
  for (const std::filesystem::directory_entry& entry : entries) {
    if (!entry.is_regular_file(error) || entry.path().extension() != ".eml") continue;
    auto written = std::chrono::file_clock::to_sys(entry.last_write_time(error));
    if (!error && written < oldest && std::filesystem::remove(entry.path(), error)) ++removed;
  }
  return removed;
}

}  // namespace qb
