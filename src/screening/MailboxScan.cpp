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

// The scan begins with this session's account: the label, the marker file
// and the report name it, whoever logged in last.
void TSessionScreening::ListReplyArrived(TScreenedSession& session) {
  if (ListingRefused(session)) return;
  state_.ListReply = ParseListText(session.Reply);
  state_.AccountText = session.AccountText;
  session.HeldList = state_.ListReply;
  session.RowUids.clear();
  session.Removed.clear();
  session.RemovalsRefused = 0;
  controls_.ProgressBar1.SetMin(0);
  controls_.ProgressBar1.SetMax(MessageLines(state_.ListReply));
  controls_.ProgressBar1.SetPosition(0);
  CancelRelayChecks();
  dnsblNotice_.clear();
  UseBlockListZone();
  state_.SpamFlags.clear();
  state_.ScanPosition = 1;
  state_.ScanCancelled = false;
  review_.Clear();
  openReview_.Open = false;  // a review left open waits in its decisions file
  controls_.Button1Enabled = false;
  ListOwner = TSessionHandle(&session.Client);
  SendUpstream(session, "UIDL" + kCrLf, TSessionStep::ssUidl, true);
}

// A listing the server refuses ends the scan: its "-ERR" is the client's
// LIST reply, and the review passes on.
bool TSessionScreening::ListingRefused(TScreenedSession& session) {
  if (session.Framing.Positive()) return false;
  if (session.Step == TSessionStep::ssUidl) review_.Clear();
  session.Client.SendString(session.Framing.Status());
  session.Client.LastCommand = "-";
  session.Scanned = true;
  session.Step = TSessionStep::ssIdle;
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
  state_.UidlReply = ParseListText(session.Reply);
  state_.LastUid = "0";
  if (state_.UidlReply.size() > 1) {
    state_.UidFileStem = MakeUidFileStem(session.AccountText);
    controls_.lblAccountCaption = "Current account:" + state_.UidFileStem;
    state_.LastUid = ReadUidMarker(UidMarkerFile(state_));
  }
  std::optional<std::int64_t> marked;
  for (const auto& [number, uid] : UidsByNumber(state_.UidlReply)) {
    if (uid == state_.LastUid) {
      marked = number;
      break;
    }
  }
  int lines = MessageLines(state_.ListReply);
  state_.ScanPosition = 1;
  while (marked && state_.ScanPosition <= lines &&
         ListingNumber(state_.ListReply[state_.ScanPosition]).value_or(0) <= *marked) {
    ++state_.ScanPosition;
  }
  state_.ScanStart = state_.ScanPosition;
  TProgressBar& progress = controls_.ProgressBar1;
  if (lines < state_.ScanStart) {
    progress.SetMin(0);
    progress.SetMax(state_.ScanStart + 1);
    progress.SetMin(state_.ScanStart);
  } else {
    progress.SetMin(state_.ScanStart);
    progress.SetMax(lines);
  }
  progress.SetPosition(state_.ScanStart);
  PlanReview(session, marked);
  if (session.ToReview.empty() || session.HoldExpired) return CarryOutDecisions(session);
  state_.ScanPosition = 1;
  AskForHeader(session);
}

// The header of the message on line ScanPosition of the LIST reply, by the
// number that line gives, if it is one to review; other lines are passed
// over. Once the hold limit has passed, the scan ends with what it has.
void TSessionScreening::AskForHeader(TScreenedSession& session) {
  int lines = MessageLines(state_.ListReply);
  while (state_.ScanPosition <= lines && !session.HoldExpired) {
    const std::string& line = state_.ListReply[state_.ScanPosition];
    std::optional<std::int64_t> number = ListingNumber(line);
    if (number && session.ToReview.contains(*number)) {
      state_.MessageSizes.Set(*number, NumberOr0(AfterFirstBlank(line)));
      session.Number = *number;
      std::string top =
          "TOP " + std::to_string(*number) + " " + std::to_string(kScanBodyLines) + kCrLf;
      return SendUpstream(session, top, TSessionStep::ssHeader, true);
    }
    ++state_.ScanPosition;
  }
  HeadersDone(session);
}

// A TOP the server refuses gives no row: that message is not reviewed and
// reaches the client as usual.
void TSessionScreening::HeaderReplyArrived(TScreenedSession& session) {
  if (session.Framing.Positive()) {
    TTopReply top = SplitTopReply(session.Reply);
    state_.HeaderLines = top.Header;
    AddRow(session.Number, std::move(top));
    state_.HeaderLines.clear();
  }
  ++state_.ScanPosition;
  controls_.ProgressBar1.SetPosition(controls_.ProgressBar1.Position + 1);
  if (state_.ScanPosition <= MessageLines(state_.ListReply)) return AskForHeader(session);
  HeadersDone(session);
}

void TSessionScreening::AddRow(std::int64_t number, TTopReply top) {
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
  state_.SpamFlags.push_back("0");
  CheckRelays(state_.SpamFlags.size() - 1, headerLines);
  row.BodyLines = FirstBodyLines(top.Body);
  row.HeaderLines = std::move(top.Header);
  row.Size = std::to_string(state_.MessageSizes.Get(number));
  row.MessageNumber = std::to_string(number);
  row.Uid = "0";
  row.CategoryIcon = MessageCategory::mcPending;
  review_.Add(std::move(row));
}

// A scan that found nothing to show (every TOP refused) releases the list
// at once, as for a mailbox without new messages.
void TSessionScreening::ScanComplete(TScreenedSession& session) {
  if (review_.Empty()) return CarryOutDecisions(session);
  session.Step = TSessionStep::ssIdle;
  ReviewClient = TSessionHandle(&session.Client);
  controls_.Button1Enabled = true;
  Listele(review_, state_);
  for (const MessageRow& row : review_.Rows()) {
    session.RowUids[NumberOr0(row.MessageNumber)] = row.Uid;
  }
  session.Client.LastCommand = "-";
  TPopupProperties& popup = popup_.Properties();
  popup.GradientColor1 = "$02F0F0FA";
  popup.GradientColor2 = "$02A0A0FA";
  popup.Title = "Quillbright";
  popup.TimeOut = 1000000;
  popup.Text = kListReadyText;
  popup_.ShowPopup();
  tray_.ShowMainWindow();
  ShowStatus();
  OpenReviewOf(session);
}

// A scan that cannot go on: the rows are dropped, the mail client gets
// "-ERR" for its LIST, and the server side closes, so that no byte of a
// reply that was not read whole can reach the client later. The user is
// told once the socket's handler has returned: a box pumps the loop, and the
// session must not be cleaned up under its own running handler.
void TSessionScreening::CancelScan(TScreenedSession& session) {
  session.Client.LastCommand = "-";
  state_.ScanCancelled = true;
  review_.Clear();
  controls_.ProgressBar1 = TProgressBar{0, 0, 0};
  PostMessageBox(kListingCanceledText, TMsgDlgType::mtError);
  EndWithError(session, "-ERR");
}

}  // namespace qb
