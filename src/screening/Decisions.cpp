#include "screening/Decisions.h"

#include <array>
#include <filesystem>
#include <string_view>

#include "platform/FileStore.h"
#include "screening/ListFile.h"
#include "screening/Listing.h"

namespace qb {

namespace {

constexpr const char* kDecisionsExtension = ".decisions";

constexpr std::array<std::pair<TDecision, std::string_view>, 3> kWords = {{
    {TDecision::dRemove, "remove"},
    {TDecision::dKeep, "keep"},
    {TDecision::dReview, "review"},
}};

std::optional<TDecision> DecisionNamed(std::string_view word) {
  for (const auto& [decision, name] : kWords) {
    if (name == word) return decision;
  }
  return std::nullopt;
}

std::string_view WordOf(TDecision decision) {
  for (const auto& [known, name] : kWords) {
    if (known == decision) return name;
  }
  return "review";
}

// A UID is one to seventy printable characters without blanks.
bool IsUid(std::string_view uid) {
  if (uid.empty() || uid.size() > 70) return false;
  for (char c : uid) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

}  // namespace

std::string DecisionsFile(const std::string& programFolder, const std::string& uidFileStem) {
  return programFolder + uidFileStem + kDecisionsExtension;
}

TDecisions ParseDecisions(std::string_view text) {
  TDecisions decisions;
  for (const std::string& line : ParseListText(text)) {
    std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    std::optional<TDecision> decision = DecisionNamed(std::string_view(line).substr(0, blank));
    std::string uid = line.substr(blank + 1);
    if (decision && IsUid(uid)) decisions[uid] = *decision;
  }
  return decisions;
}

std::string FormatDecisions(const TDecisions& decisions) {
  TextLines lines;
  for (const auto& [uid, decision] : decisions)
    lines.push_back(std::string(WordOf(decision)) + " " + uid);
  return FormatListText(lines);
}

std::optional<TDecisions> ReadDecisions(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !error) return TDecisions{};
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return ParseDecisions(*bytes);
}

bool WriteDecisions(const std::string& path, const TDecisions& decisions) {
  return WriteFileAtomically(path, FormatDecisions(decisions), kPrivateFileMode);
}

std::set<std::string> DuplicateUids(const TextLines& uidlListing) {
  std::set<std::string> seen, duplicates;
  for (const auto& [number, uid] : UidsByNumber(uidlListing)) {
    if (!seen.insert(uid).second) duplicates.insert(uid);
  }
  return duplicates;
}

TMailboxDecisions MatchDecisions(TDecisions& decisions, const TextLines& uidlListing,
                                 bool complete) {
  TMailboxDecisions matched;
  std::map<std::int64_t, std::string> uids = UidsByNumber(uidlListing);
  std::set<std::string> onServer;
  for (const auto& [number, uid] : uids) onServer.insert(uid);
  if (complete) {
    matched.Dropped = std::erase_if(decisions, [&onServer](const auto& entry) {
                        return !onServer.contains(entry.first);
                      }) > 0;
  }
  std::set<std::string> duplicates = DuplicateUids(uidlListing);
  for (const auto& [number, uid] : uids) {
    auto decided = decisions.find(uid);
    if (decided == decisions.end() || duplicates.contains(uid)) continue;
    switch (decided->second) {
      case TDecision::dRemove:
        matched.Remove.insert(number);
        break;
      case TDecision::dKeep:
        matched.Keep.insert(number);
        break;
      case TDecision::dReview:
        matched.Review.insert(number);
        break;
    }
  }
  return matched;
}

bool RecordDecision(TDecisions& decisions, const std::string& uid, TDecision decision,
                    const std::set<std::string>& duplicates) {
  if (uid == "0" || !IsUid(uid) || duplicates.contains(uid)) return false;
  decisions[uid] = decision;
  return true;
}

}  // namespace qb
