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

void TSessionScreening::CheckRelays(TScreenedSession& session, std::size_t flagIndex,
                                    const TextLines& headerLines) {
  if (dnsbl_.ZoneState() == zsNone || dnsbl_.ZoneState() == zsFailed) return;
  TSessionHandle owner(&session.Client);
  for (const std::string& address : RelayAddressesToCheck(headerLines)) {
    auto id = std::make_shared<TCheckId>(0);
    *id = dnsbl_.CheckRelays({address}, [this, id, owner, flagIndex, address](bool listed) {
      RelayChecked(owner, *id, flagIndex, listed ? address : "");
    });
    session.Scan.RelayChecks.insert(*id);
  }
}

// The rows are in scan order until the scan completes, so the flag's index
// is the row's too. A check of a session that has gone is dropped.
void TSessionScreening::RelayChecked(const TSessionHandle& owner, TCheckId id,
                                     std::size_t flagIndex, const std::string& listedAddress) {
  TMailGWClient* client = owner.Get();
  TScreenedSession* session = client ? ScreenedSessionOf(*client) : nullptr;
  if (session == nullptr) return;
  TMailboxScan& scan = session->Scan;
  scan.RelayChecks.erase(id);
  if (!listedAddress.empty() && flagIndex < scan.SpamFlags.size() &&
      flagIndex < scan.Rows.Count()) {
    scan.SpamFlags[flagIndex].assign(1, '1');
    MessageRow& row = scan.Rows[flagIndex];
    if (row.ListedRelay.empty()) row.ListedRelay = listedAddress;
  }
  if (!scan.RelayChecks.empty() || !scan.HeadersDone) return;
  scan.HeadersDone = false;
  ScanComplete(*session);
  Changed();
}

// The last header is in: the review opens now, or when the last check of
// the scan answers.
void TSessionScreening::HeadersDone(TScreenedSession& session) {
  if (session.Scan.RelayChecks.empty()) return ScanComplete(session);
  session.Scan.HeadersDone = true;
}

// Whether the session's scan is under way: a reply of the scan in flight,
// or the block-list lookups after its last header.
bool TSessionScreening::Scanning(const TScreenedSession& session) const {
  bool scanStep = session.Step == TSessionStep::ssList || session.Step == TSessionStep::ssUidl ||
                  session.Step == TSessionStep::ssHeader;
  return (session.InFlight && scanStep) || session.Scan.HeadersDone;
}

void TSessionScreening::CancelRelayChecks(TScreenedSession& session) {
  for (TCheckId id : session.Scan.RelayChecks) dnsbl_.Cancel(id);
  session.Scan.RelayChecks.clear();
  session.Scan.HeadersDone = false;
}

void TSessionScreening::BlockListNotice(const std::string& text) {
  dnsblNotice_ = text;
  ShowStatus();
  Changed();
}

}  // namespace qb
