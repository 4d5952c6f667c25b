#include "screening/RestoredMail.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/AsciiText.h"
#include "platform/FileStore.h"
#include "screening/FileNames.h"
#include "screening/HeaderTexts.h"
#include "screening/ListFile.h"
#include "screening/Listing.h"
#include "screening/RemovedMail.h"

namespace qb {

namespace {

const std::string kCrLf = "\r\n";

// A UID the server cannot have given: "QBR" and a hash of the copy's name,
// the same at every session, within the 70 printable bytes a UID may have.
std::string RestoredUid(std::string_view name) {
  return "QBR" + NameHash(name);
}

std::optional<TRestoredCopy> ReadCopy(const std::filesystem::path& path) {
  std::optional<std::string> bytes = ReadWholeFile(path.string());
  if (!bytes) return std::nullopt;
  std::string message = MessageForDelivery(*bytes);
  std::size_t headerEnd = message.find("\r\n\r\n");
  TextLines header =
      ParseListText(std::string_view(message).substr(0, std::min(headerEnd, message.size())));
  std::string name = path.filename().string();
  return TRestoredCopy{.Name = name,
                       .Uid = RestoredUid(name),
                       .Size = static_cast<std::int64_t>(message.size()),
                       .From = AddressPart(DecodedHeader(header, "From")),
                       .Subject = DecodedSubject(header)};
}

bool MoveCopy(const std::string& from, const std::string& toFolder, const std::string& name) {
  if (!IsPlainFileName(name)) return false;
  // A copy of the same name there is the same message: it is replaced.
  if (!MakeFolder(toFolder, kPrivateFolderMode)) return false;
  std::error_code error;
  std::filesystem::rename(from + name, toFolder + name, error);
  return !error;
}

}  // namespace

bool IsCopyOfAccount(std::string_view name, std::string_view accountText,
                     const TCopyAccounts& loggedAccounts) {
  // "yyyymmdd-hhmmss-" before the account, "-<uid>.eml" after it.
  constexpr std::size_t kTimeLength = 16;
  bool legacy = name.find('~') == std::string_view::npos;
  std::string account =
      (legacy ? LegacyCopyAccountPart(accountText) : CopyAccountPart(accountText)) + "-";
  bool shaped = name.size() > kTimeLength + account.size() + 4 && name[8] == '-' &&
                name[15] == '-' && name.substr(kTimeLength).starts_with(account) &&
                name.ends_with(".eml");
  if (!shaped || !legacy) return shaped;
  // The account part of an older name may be the start of another's: the
  // log line that names the copy tells whose it is.
  auto logged = loggedAccounts.find(std::string(name));
  return logged != loggedAccounts.end() && logged->second == TrimBlanks(accountText);
}

TCopyAccounts LoggedCopyAccounts(const std::string& logPath) {
  TCopyAccounts accounts;
  std::optional<std::string> log = ReadWholeFile(logPath);
  if (!log) return accounts;
  for (const std::string& line : ParseListText(*log)) {
    std::size_t last = line.rfind('\t');
    if (last == std::string::npos) continue;
    accounts[line.substr(last + 1)] = SplitField(line, '\t', 1);
  }
  return accounts;
}

std::vector<TRestoredCopy> MarkedCopiesOf(const std::string& programFolder,
                                          std::string_view accountText) {
  std::vector<std::filesystem::path> paths;
  std::error_code error;
  std::optional<TCopyAccounts> logged;
  for (const auto& entry :
       std::filesystem::directory_iterator(programFolder + kDeliverFolder, error)) {
    std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(error)) continue;
    if (!logged && name.find('~') == std::string::npos) {
      logged = LoggedCopyAccounts(programFolder + kRemovedLogFile);
    }
    if (IsCopyOfAccount(name, accountText, logged ? *logged : TCopyAccounts{})) {
      paths.push_back(entry.path());
    }
  }
  std::sort(paths.begin(), paths.end());
  std::vector<TRestoredCopy> copies;
  for (const std::filesystem::path& path : paths) {
    if (std::optional<TRestoredCopy> copy = ReadCopy(path)) copies.push_back(std::move(*copy));
  }
  return copies;
}

std::string MessageForDelivery(std::string_view bytes) {
  std::string message;
  message.reserve(bytes.size() + 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) message += '\r';
    message += bytes[i];
  }
  if (!message.empty() && !message.ends_with(kCrLf)) message += kCrLf;
  return message;
}

std::string MessageReply(std::string_view message, std::optional<std::int64_t> bodyLines) {
  std::string reply = "+OK " + std::to_string(message.size()) + " octets" + kCrLf;
  reply.reserve(message.size() + message.size() / 64 + 32);
  bool inBody = false;
  std::int64_t bodyLeft = bodyLines.value_or(0);
  while (!message.empty()) {
    std::size_t end = message.find(kCrLf);
    std::string_view line = message.substr(0, end);
    message.remove_prefix(end == std::string_view::npos ? message.size() : end + 2);
    if (inBody && bodyLines && bodyLeft-- <= 0) break;
    if (line.starts_with('.')) reply += '.';
    reply.append(line);
    reply += kCrLf;
    inBody = inBody || line.empty();
  }
  return reply + "." + kCrLf;
}

bool MarkForDelivery(const std::string& programFolder, const std::string& name) {
  return MoveCopy(programFolder + kRemovedFolder, programFolder + kDeliverFolder, name);
}

bool ReturnDeliveredCopy(const std::string& programFolder, const std::string& name) {
  return MoveCopy(programFolder + kDeliverFolder, programFolder + kRemovedFolder, name);
}

void TRestoredDelivery::Start(std::vector<TRestoredCopy> copies, std::int64_t firstNumber) {
  copies_ = std::move(copies);
  firstNumber_ = firstNumber;
}

TRestoredCopy* TRestoredDelivery::Find(std::optional<std::int64_t> number) {
  if (!number || *number < firstNumber_) return nullptr;
  std::uint64_t index = static_cast<std::uint64_t>(*number - firstNumber_);
  return index < copies_.size() ? &copies_[index] : nullptr;
}

std::optional<std::string> TRestoredDelivery::Answer(const TPop3Command& command,
                                                     const std::string& deliverFolder) {
  TRestoredCopy* copy = command.NamesMessage() ? Find(command.Number) : nullptr;
  if (copy == nullptr) return std::nullopt;
  std::int64_t number = firstNumber_ + (copy - copies_.data());
  if (copy->Deleted) return "-ERR Message " + std::to_string(number) + " is deleted" + kCrLf;
  return AnswerFor(command, *copy, number, deliverFolder);
}

std::optional<std::string> TRestoredDelivery::AnswerFor(const TPop3Command& command,
                                                        TRestoredCopy& copy, std::int64_t number,
                                                        const std::string& deliverFolder) {
  std::string numberText = std::to_string(number);
  if (command.Is("LIST")) return "+OK " + numberText + " " + std::to_string(copy.Size) + kCrLf;
  if (command.Is("UIDL")) return "+OK " + numberText + " " + copy.Uid + kCrLf;
  if (command.Is("DELE")) {
    copy.Deleted = true;
    return "+OK Marked to be deleted" + kCrLf;
  }
  std::optional<std::int64_t> bodyLines;
  if (command.Is("TOP")) {
    bodyLines = ParseWholeNumber(TrimBlanks(command.AfterNumber));
    if (!bodyLines) return "-ERR Invalid arguments" + kCrLf;
  }
  std::optional<std::string> bytes = ReadWholeFile(deliverFolder + copy.Name);
  if (!bytes) return "-ERR Message " + numberText + " cannot be read" + kCrLf;
  if (!bodyLines) copy.Retrieved = true;
  return MessageReply(MessageForDelivery(*bytes), bodyLines);
}

std::string TRestoredDelivery::WithListing(const std::string& reply, bool uidl) const {
  const std::string end = "." + kCrLf;
  if (!reply.starts_with("+OK") || !reply.ends_with(end)) return reply;
  std::string lines;
  for (std::size_t k = 0; k < copies_.size(); ++k) {
    if (copies_[k].Deleted) continue;
    lines += std::to_string(firstNumber_ + static_cast<std::int64_t>(k)) + " " +
             (uidl ? copies_[k].Uid : std::to_string(copies_[k].Size)) + kCrLf;
  }
  return reply.substr(0, reply.size() - end.size()) + lines + end;
}

std::string TRestoredDelivery::WithStat(const std::string& reply) const {
  std::optional<TMailboxSize> size = StatOf(reply);
  if (!size) return reply;
  for (const TRestoredCopy& copy : copies_) {
    if (copy.Deleted) continue;
    size->Count += 1;
    size->Octets += copy.Size;
  }
  return StatReply(*size);
}

void TRestoredDelivery::Undelete() {
  for (TRestoredCopy& copy : copies_) copy.Deleted = false;
}

std::vector<TRestoredCopy> TRestoredDelivery::Ended() const {
  std::vector<TRestoredCopy> ended;
  for (const TRestoredCopy& copy : copies_) {
    if (copy.Retrieved || copy.Deleted) ended.push_back(copy);
  }
  return ended;
}

}  // namespace qb
