// The block-list lookups of a scan: each of a row's public relay addresses
// is checked on the resolver pool while the scan reads the next headers. A
// row's spam flag stays "0" until a check answers "listed", which also names
// the row's listed relay (for the removal log); the review opens only when
// the last header is in and every check of the scan has answered, so the
// classification sees every answer. A scan that ends early cancels its
// checks.
#include "screening/DnsBlockList.h"
#include "screening/SessionScreening.h"

namespace qb {

void TSessionScreening::UseBlockListZone() {
  dnsbl_.SetZone(state_.DnsblList.empty() ? "" : state_.DnsblList.front());
}

void TSessionScreening::CheckRelays(std::size_t flagIndex, const TextLines& headerLines) {
  if (dnsbl_.ZoneState() == zsNone || dnsbl_.ZoneState() == zsFailed) return;
  for (const std::string& address : RelayAddressesToCheck(headerLines)) {
    auto id = std::make_shared<TCheckId>(0);
    *id = dnsbl_.CheckRelays({address}, [this, id, flagIndex, address](bool listed) {
      RelayChecked(*id, flagIndex, listed ? address : "");
    });
    relayChecks_.insert(*id);
  }
}

// The rows are in scan order until the scan completes, so the flag's index
// is the row's too.
void TSessionScreening::RelayChecked(TCheckId id, std::size_t flagIndex,
                                     const std::string& listedAddress) {
  relayChecks_.erase(id);
  if (!listedAddress.empty() && flagIndex < state_.SpamFlags.size() &&
      flagIndex < review_.Rows().size()) {
    state_.SpamFlags[flagIndex].assign(1, '1');
    MessageRow& row = review_.Rows()[flagIndex];
    if (row.ListedRelay.empty()) row.ListedRelay = listedAddress;
  }
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
