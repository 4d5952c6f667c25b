// The block-list lookups of a scan: each row's relay addresses are checked
// on the resolver pool while the scan reads the next headers. A row's spam
// flag stays "0" until its check answers "listed"; the review opens only
// when the last header is in and every check of the scan has answered, so
// the classification sees every answer. A scan that ends early cancels its
// checks.
#include "screening/DnsBlockList.h"
#include "screening/SessionScreening.h"

namespace qb {

void TSessionScreening::UseBlockListZone() {
  dnsbl_.SetZone(state_.DnsblList.empty() ? "" : state_.DnsblList.front());
}

void TSessionScreening::CheckRelays(std::size_t flagIndex, const TextLines& headerLines) {
  if (dnsbl_.ZoneState() == zsNone || dnsbl_.ZoneState() == zsFailed) return;
  std::vector<std::string> addresses = RelayAddresses(headerLines);
  if (addresses.empty()) return;
  auto id = std::make_shared<TCheckId>(0);
  *id = dnsbl_.CheckRelays(
      addresses, [this, id, flagIndex](bool listed) { RelayChecked(*id, flagIndex, listed); });
  relayChecks_.insert(*id);
}

void TSessionScreening::RelayChecked(TCheckId id, std::size_t flagIndex, bool listed) {
  relayChecks_.erase(id);
  if (listed && flagIndex < state_.SpamFlags.size()) state_.SpamFlags[flagIndex].assign(1, '1');
  if (!relayChecks_.empty() || !headersDone_) return;
  headersDone_ = false;
  if (TMailGWClient* owner = ListOwner.Get()) {
    ScanComplete(SessionFor(*owner));
    Changed();
  }
}

// The last header is in: the review opens now, or when the last check of
// the scan answers.
void TSessionScreening::HeadersDone(TScreenedSession& session) {
  if (relayChecks_.empty()) return ScanComplete(session);
  headersDone_ = true;
}

bool TSessionScreening::WaitsForRelayChecks(const TScreenedSession& session) const {
  return headersDone_ && ListOwner.Is(&session.Client);
}

void TSessionScreening::CancelRelayChecks() {
  for (TCheckId id : relayChecks_) dnsbl_.Cancel(id);
  relayChecks_.clear();
  headersDone_ = false;
}

void TSessionScreening::BlockListNotice(const std::string& text) {
  dnsblNotice_ = text;
  ShowStatus();
  Changed();
}

}  // namespace qb
