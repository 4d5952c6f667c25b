#include "screening/Listing.h"

#include "screening/ListFile.h"
#include "screening/Pop3Command.h"

namespace qb {

std::optional<std::int64_t> ListingNumber(const std::string& line) {
  return MessageNumberOf(SplitField(line, ' ', 0));
}

std::string AfterFirstBlank(const std::string& line) {
  std::size_t blank = line.find(' ');
  return blank == std::string::npos ? line : line.substr(blank + 1);
}

std::map<std::int64_t, std::string> UidsByNumber(const TextLines& uidlListing) {
  std::map<std::int64_t, std::string> uids;
  for (std::size_t k = 1; k + 1 < uidlListing.size(); ++k) {
    if (std::optional<std::int64_t> number = ListingNumber(uidlListing[k])) {
      uids.emplace(*number, AfterFirstBlank(uidlListing[k]));
    }
  }
  return uids;
}

std::optional<TMailboxSize> StatOf(const std::string& reply) {
  if (!reply.starts_with("+OK")) return std::nullopt;
  std::string status = reply.substr(0, reply.find("\r\n"));
  std::optional<std::int64_t> count = ParseWholeNumber(SplitField(status, ' ', 1));
  std::optional<std::int64_t> octets = ParseWholeNumber(SplitField(status, ' ', 2));
  if (!count || !octets) return std::nullopt;
  return TMailboxSize{*count, *octets};
}

std::string StatReply(TMailboxSize size) {
  return "+OK " + std::to_string(size.Count) + " " + std::to_string(size.Octets) + "\r\n";
}

std::string WithCountedStatus(const std::string& listing) {
  TextLines lines = ParseListText(listing);
  bool counted = lines.size() >= 2 && lines.front().starts_with("+OK ") &&
                 ParseWholeNumber(SplitField(lines.front(), ' ', 1)).has_value();
  if (!counted || lines.back() != ".") return listing;
  TMailboxSize size{static_cast<std::int64_t>(lines.size()) - 2, 0};
  for (std::size_t k = 1; k + 1 < lines.size(); ++k) {
    size.Octets += ParseWholeNumber(AfterFirstBlank(lines[k])).value_or(0);
  }
  std::string text = "+OK " + std::to_string(size.Count) + " messages (" +
                     std::to_string(size.Octets) + " octets)\r\n";
  for (std::size_t k = 1; k < lines.size(); ++k) text += lines[k] + "\r\n";
  return text;
}

}  // namespace qb
