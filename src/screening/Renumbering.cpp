#include "screening/Renumbering.h"

#include <algorithm>

#include "screening/ListFile.h"
#include "screening/Listing.h"

namespace qb {

namespace {

const std::string kCrLf = "\r\n";

// "3 120" with the number replaced; nullopt when the line has no number or
// the number has no counterpart.
template <typename Translate>
std::optional<std::string> TranslatedLine(const std::string& line, std::size_t numberAt,
                                          Translate translate) {
  std::size_t end = line.find(' ', numberAt);
  std::string field = line.substr(numberAt, end == std::string::npos ? end : end - numberAt);
  std::optional<std::int64_t> number = MessageNumberOf(field);
  if (!number) return std::nullopt;
  std::optional<std::int64_t> translated = translate(*number);
  if (!translated) return std::nullopt;
  return line.substr(0, numberAt) + std::to_string(*translated) +
         (end == std::string::npos ? "" : line.substr(end));
}

}  // namespace

TRenumbering::TRenumbering(const TextLines& listing, const std::set<std::int64_t>& removed,
                           const std::set<std::int64_t>& leftOut)
    : active_(!removed.empty() || !leftOut.empty()), listed_(true) {
  for (std::size_t k = 1; k + 1 < listing.size(); ++k) {
    std::optional<std::int64_t> number = ListingNumber(listing[k]);
    if (!number || removed.contains(*number)) continue;
    if (leftOut.contains(*number)) {
      ++leftOutCount_;
      leftOutOctets_ += ParseWholeNumber(AfterFirstBlank(listing[k])).value_or(0);
      continue;
    }
    visible_.push_back(*number);
  }
}

std::string TRenumbering::StatToClient(const std::string& reply) const {
  if (!active_ || !reply.starts_with("+OK")) return reply;
  std::optional<TMailboxSize> size = StatOf(reply);
  if (!size) return reply;
  return StatReply({std::max<std::int64_t>(size->Count - leftOutCount_, 0),
                    std::max<std::int64_t>(size->Octets - leftOutOctets_, 0)});
}

std::int64_t TRenumbering::LastVisibleNumber() const {
  if (active_) return static_cast<std::int64_t>(visible_.size());
  return visible_.empty() ? 0 : *std::max_element(visible_.begin(), visible_.end());
}

std::optional<std::int64_t> TRenumbering::ToServer(std::int64_t visible) const {
  if (!listed_) return visible;
  if (!active_) {
    bool shown = std::find(visible_.begin(), visible_.end(), visible) != visible_.end();
    return shown ? std::optional(visible) : std::nullopt;
  }
  if (visible < 1 || visible > static_cast<std::int64_t>(visible_.size())) return std::nullopt;
  return visible_[static_cast<std::size_t>(visible - 1)];
}

std::optional<std::int64_t> TRenumbering::ToVisible(std::int64_t server) const {
  if (!active_) return server;
  auto found = std::find(visible_.begin(), visible_.end(), server);
  if (found == visible_.end()) return std::nullopt;
  return static_cast<std::int64_t>(found - visible_.begin()) + 1;
}

std::optional<std::int64_t> TRenumbering::ServerNumberOf(const TPop3Command& command) const {
  if (!command.Number) return std::nullopt;
  return ToServer(*command.Number);
}

std::string TRenumbering::CommandToServer(const TPop3Command& command, std::int64_t serverNumber) {
  return command.Keyword + " " + std::to_string(serverNumber) + command.AfterNumber + kCrLf;
}

std::string TRenumbering::ReplyToClient(const std::string& reply, bool listing) const {
  if (!active_ || !reply.starts_with("+OK")) return reply;
  auto toVisible = [this](std::int64_t n) { return ToVisible(n); };
  TextLines lines = ParseListText(reply);
  if (!listing) {
    std::string status = lines.empty() ? reply : lines.front();
    return TranslatedLine(status, 4, toVisible).value_or(status) + kCrLf;
  }
  std::string translated;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    bool messageLine = k > 0 && k + 1 < lines.size();
    if (!messageLine) {
      translated += lines[k] + kCrLf;
    } else if (std::optional<std::string> line = TranslatedLine(lines[k], 0, toVisible)) {
      translated += *line + kCrLf;
    }
  }
  return translated;
}

}  // namespace qb
