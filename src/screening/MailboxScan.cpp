// The mailbox scan of one session, started by its bare LIST: the LIST reply
// is held back, then UIDL, the account's UID marker file, and TOP n k for
// each new message (its header and first body lines, TopReply.h), one row
// per message, classified when the last one is in.
// Every reply is read whole from the socket's events before its step goes on;
// the block-list lookups of the rows run meanwhile (RelayChecks.cpp).
#include <string_view>

#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/AttachmentName.h"
#include "screening/Classification.h"
#include "screening/EncodedWords.h"
#include "screening/HeaderFields.h"
#include "screening/HeaderTexts.h"
#include "screening/ListFile.h"
#include "screening/Listing.h"
#include "screening/MailDate.h"
#include "screening/MimeParts.h"
#include "screening/SessionScreening.h"
#include "screening/TopReply.h"

namespace qb {

const char* const kListReadyText =
    "New email list has been prepared. Please CLICK HERE to see new email messages summary.";
const char* const kListingCanceledText =
    "The listing process has been canceled by email client software or by the server.";

namespace {

const std::string kCrLf = "\r\n";

// The count of message lines of a listing: all lines but the status and ".".
int MessageLines(const TextLines& listing) {
  return static_cast<int>(listing.size()) - 2;
}

std::int64_t NumberOr0(const std::string& text) {
  return ParseWholeNumber(text).value_or(0);
}

}  // namespace

// The scan begins with this session's account; its listings and rows are
// its own, so scans of other accounts go on meanwhile. The progress bar
// follows a scan while no review is shown.
void TSessionScreening::ListReplyArrived(TScreenedSession& session) {
  if (ListingRefused(session)) return;
  CancelRelayChecks(session);
  TMailboxScan& scan = session.Scan;
  scan = TMailboxScan{};
  scan.ListReply = ParseListText(session.Reply);
  session.HeldList = scan.ListReply;
  session.RowUids.clear();
  session.Removed.clear();
  session.RemovalsRefused = 0;
  if (!openReview_.Open) {
    controls_.ProgressBar1.SetMin(0);
    controls_.ProgressBar1.SetMax(MessageLines(scan.ListReply));
    controls_.ProgressBar1.SetPosition(0);
  }
  dnsblNotice_.clear();
  UseBlockListZone();
  state_.ScanCancelled = false;
  SendUpstream(session, "UIDL" + kCrLf, TSessionStep::ssUidl, true);
}

// A listing the server refuses ends the scan: its "-ERR" is the client's
// LIST reply.
bool TSessionScreening::ListingRefused(TScreenedSession& session) {
  if (session.Framing.Positive()) return false;
  session.Client.SendString(session.Framing.Status());
  session.Scanned = true;
  SetStep(session, TSessionStep::ssIdle);
  session.ClientWaiting = false;
  ReleaseReview(session);
  DispatchWaiting(session);
  return true;
}

// The scan starts after the message whose UID the marker names (found by
// its number, whatever the order of the UIDL lines), and with the first
// message when that one is no longer on the server.
void TSessionScreening::UidlReplyArrived(TScreenedSession& session) {
  if (ListingRefused(session)) return;
  TMailboxScan& scan = session.Scan;
  scan.UidlReply = ParseListText(session.Reply);
  std::string lastUid = "0";
  if (scan.UidlReply.size() > 1) {
    std::string stem = MakeUidFileStem(session.AccountText);
    if (!openReview_.Open) controls_.lblAccountCaption = "Current account:" + stem;
    lastUid = ReadUidMarker(UidMarkerFile(state_.ProgramFolder, stem));
  }
  std::optional<std::int64_t> marked;
  for (const auto& [number, uid] : UidsByNumber(scan.UidlReply)) {
    if (uid == lastUid) {
      marked = number;
      break;
    }
  }
  int lines = MessageLines(scan.ListReply);
  int start = 1;
  while (marked && start <= lines && ListingNumber(scan.ListReply[start]).value_or(0) <= *marked) {
    ++start;
  }
  if (!openReview_.Open) ShowScanStart(start, lines);
  PlanReview(session, marked);
  if (session.ToReview.empty() || session.HoldExpired) return CarryOutDecisions(session);
  scan.Position = 1;
  AskForHeader(session);
}

void TSessionScreening::ShowScanStart(int start, int lines) {
  TProgressBar& progress = controls_.ProgressBar1;
  if (lines < start) {
    progress.SetMin(0);
    progress.SetMax(start + 1);
    progress.SetMin(start);
  } else {
    progress.SetMin(start);
    progress.SetMax(lines);
  }
  progress.SetPosition(start);
}

// The header of the message on line Position of the LIST reply, by the
// number that line gives, if it is one to review; other lines are passed
// over. Once the hold limit has passed, the scan ends with what it has.
void TSessionScreening::AskForHeader(TScreenedSession& session) {
  TMailboxScan& scan = session.Scan;
  int lines = MessageLines(scan.ListReply);
  while (scan.Position <= lines && !session.HoldExpired) {
    const std::string& line = scan.ListReply[scan.Position];
    std::optional<std::int64_t> number = ListingNumber(line);
    if (number && session.ToReview.contains(*number)) {
      scan.Sizes.Set(*number, NumberOr0(AfterFirstBlank(line)));
      session.Number = *number;
      std::string top =
          "TOP " + std::to_string(*number) + " " + std::to_string(kScanBodyLines) + kCrLf;
      return SendUpstream(session, top, TSessionStep::ssHeader, true);
    }
    ++scan.Position;
  }
  HeadersDone(session);
}

// A TOP the server refuses gives no row: that message is not reviewed and
// reaches the client as usual.
void TSessionScreening::HeaderReplyArrived(TScreenedSession& session) {
  TMailboxScan& scan = session.Scan;
  if (session.Framing.Positive()) AddRow(session, SplitTopReply(session.Reply));
  ++scan.Position;
  if (!openReview_.Open) controls_.ProgressBar1.SetPosition(controls_.ProgressBar1.Position + 1);
  if (scan.Position <= MessageLines(scan.ListReply)) return AskForHeader(session);
  HeadersDone(session);
}

void TSessionScreening::AddRow(TScreenedSession& session, TTopReply top) {
  TMailboxScan& scan = session.Scan;
  const TextLines& headerLines = top.Header;
  MessageRow row;
  row.Subject = DecodedSubject(headerLines);
  std::string from = DecodedHeader(headerLines, "From");
  row.From = AddressPart(from);
  row.FromName = DisplayNamePart(from);
  row.To = AddressPart(DecodedHeader(headerLines, "To"));
  row.Date = ReviewDateText(DecodedHeader(headerLines, "Date"));
  row.Attachments = PartFileNames(headerLines, top.Body);
  row.File = WithoutLineBreaks(AttachmentsText(headerLines, row.Attachments));
  scan.SpamFlags.push_back("0");
  CheckRelays(session, scan.SpamFlags.size() - 1, headerLines);
  row.BodyLines = FirstBodyLines(top.Body);
  row.HeaderLines = std::move(top.Header);
  row.Size = std::to_string(scan.Sizes.Get(session.Number));
  row.Number = session.Number;
  row.Uid = "0";
  row.CategoryIcon = MessageCategory::mcPending;
  scan.Rows.Add(std::move(row));
}

// The rows are classified and the review is made ready; it is shown now,
// or waits while another account's review is shown. A scan that found
// nothing to show (every TOP refused) releases the list at once, as for a
// mailbox without new messages.
void TSessionScreening::ScanComplete(TScreenedSession& session) {
  TMailboxScan& scan = session.Scan;
  if (scan.Rows.Empty()) return CarryOutDecisions(session);
  SetStep(session, TSessionStep::ssIdle);
  state_.ListReply = scan.ListReply;
  state_.UidlReply = scan.UidlReply;
  state_.SpamFlags = scan.SpamFlags;
  Listele(scan.Rows, state_);
  for (const MessageRow& row : scan.Rows.Rows()) session.RowUids[row.Number] = row.Uid;
  ReviewReady(session);
}

// A scan that cannot go on: its rows are dropped, the mail client gets
// "-ERR" for its LIST, and the server side closes, so that no byte of a
// reply that was not read whole can reach the client later. The user is
// told once the socket's handler has returned: a box pumps the loop, and the
// session must not be cleaned up under its own running handler.
void TSessionScreening::CancelScan(TScreenedSession& session, const std::string& reply) {
  state_.ScanCancelled = true;
  CancelRelayChecks(session);
  session.Scan.Rows.Clear();
  if (!openReview_.Open) controls_.ProgressBar1 = TProgressBar{0, 0, 0};
  PostMessageBox(kListingCanceledText, TMsgDlgType::mtError);
  EndWithError(session, reply);
}

}  // namespace qb
