// The server's replies (the gateway's OnServerSend): relayed to the mail
// client, except that the LIST reply is held back while the new messages are
// scanned: UIDL, the account's UID marker file, and TOP n 0 for each new
// message, one row per header, classified when the last one is in.
#include <string_view>

#include "platform/AsciiText.h"
#include "platform/Dialogs.h"
#include "screening/AttachmentName.h"
#include "screening/Classification.h"
#include "screening/DnsBlockList.h"
#include "screening/EncodedWords.h"
#include "screening/HeaderFields.h"
#include "screening/ListFile.h"
#include "screening/MailDate.h"
#include "screening/SessionScreening.h"

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

// The text after the first blank; the whole text when there is none.
std::string AfterFirstBlank(const std::string& line) {
  std::size_t blank = line.find(' ');
  return blank == std::string::npos ? line : line.substr(blank + 1);
}

bool StartsWithWholeLine(const std::string& text) {
  return text.find(kCrLf) != std::string::npos;
}

std::int64_t NumberOr0(const std::string& text) {
  return ParseWholeNumber(text).value_or(0);
}

// Only the address, when the text holds a display name and "<address>".
std::string AddressPart(const std::string& text) {
  std::size_t open = text.find('<');
  std::size_t close = text.find('>');
  if (open == std::string::npos || close == std::string::npos) return text;
  return close < open ? "" : text.substr(open + 1, close - open - 1);
}

std::string DecodedHeader(const TextLines& lines, std::string_view name) {
  return DecodeEncodedWords(GetHeaderValue(lines, name));
}

}  // namespace

std::string HeldListReply(const ScreeningState& state) {
  std::string text;
  for (const std::string& line : state.ListReply) text += line + kCrLf;
  return text;
}

// The replies whose status line decides what happens (the greeting, a
// RETR's "+OK", the reply to a DELE standing in for a RETR) are read whole
// before that decision: a server may send a line in several pieces.
bool TSessionScreening::StatusLineDecides(const TMailGWClient& client, TClientState clientState) {
  const std::string& last = client.LastCommand;
  return clientState == csWaitingLogin || last.starts_with("RETR") || last.starts_with("*DELE ");
}

void TSessionScreening::MailGateway1ServerSend(TMailGateway*, TAsyncSocket* server,
                                               std::string& data, TClientState clientState) {
  TMailGWClient& client = *static_cast<TMailGWClient*>(server->Owner);
  const std::string& last = client.LastCommand;
  std::string text = data;
  if (StatusLineDecides(client, clientState) && !StartsWithWholeLine(text)) {
    ReadStatusLine(*server, text, ReplyLimits);
  }
  if (last.starts_with("RETR") && text.starts_with("+OK")) RecordRetrieval(client);
  if (last.starts_with("*DELE ")) {
    client.SendString("-ERR" + kCrLf);
    client.LastCommand = "-";
    return;
  }
  if (last.starts_with("TOP ")) return;
  if (last.starts_with("LIST") && TrimBlanks(last) != "LIST") {
    // LIST with an argument: a one-line reply, relayed without a scan.
    client.SendString(text);
    client.LastCommand = "-";
    return;
  }
  if (last.starts_with("LIST")) return ListReplyArrived(client, *server, text);
  if (last.starts_with("*UIDL")) return UidlReplyArrived(client, *server, text);
  if (last.starts_with("*LIST")) return HeaderReplyArrived(client, *server, text);
  if (last.starts_with("QUIT")) {
    if (ListOwner.Is(&client)) review_.Clear();
    client.SendString(text);
    client.ClientState = csRelaying;
    return;
  }
  if (clientState == csWaitingLogin) {
    server->SendString(client.LoginLine);  // the greeting is answered, not relayed
    state_.ScanCancelled = false;
  } else {
    client.SendString(text);
  }
  client.ClientState = csRelaying;
}

// A "+OK" to a RETR of a listed message makes its UID the account's marker.
void TSessionScreening::RecordRetrieval(TMailGWClient& client) {
  std::string number = client.LastCommand.substr(5);
  const MessageRow* row = FindOwnRow(client, number);
  if (row == nullptr) return;
  state_.LastUid = row->Uid;
  state_.UidFileStem = MakeUidFileStem(state_.AccountText);
  WriteUidMarker(UidMarkerFile(state_), state_.LastUid);
}

// Reads the rest of a listing. A listing that does not arrive whole ends the
// scan, and the mail client is never left waiting: an "-ERR" of the server is
// relayed, any other end is a cancelled scan answered with "-ERR".
bool TSessionScreening::ReadListing(TMailGWClient& client, TAsyncSocket& server,
                                    std::string& text) {
  TReplyEnd end = ReadMultiLineReply(server, text, ReplyLimits);
  if (end == TReplyEnd::reComplete) return true;
  if (end == TReplyEnd::reError) {
    review_.Clear();
    client.SendString(text.substr(0, text.find(kCrLf) + 2));
    client.LastCommand = "-";
    return false;
  }
  CancelScan(client);
  return false;
}

void TSessionScreening::ListReplyArrived(TMailGWClient& client, TAsyncSocket& server,
                                         std::string text) {
  if (!ReadListing(client, server, text)) return;
  client.LastCommand = "*UIDL";
  state_.ListReply = ParseListText(text.substr(0, text.find("\r\n.\r\n") + 5));
  controls_.ProgressBar1.SetMin(0);
  controls_.ProgressBar1.SetMax(MessageLines(state_.ListReply));
  controls_.ProgressBar1.SetPosition(0);
  state_.SpamFlags.clear();
  state_.ScanPosition = 1;
  // A new scan begins: one cancelled earlier in this session must not stop it.
  state_.ScanCancelled = false;
  review_.Clear();
  ListOwner = TSessionHandle(&client);
  server.SendString("UIDL" + kCrLf);
}

void TSessionScreening::UidlReplyArrived(TMailGWClient& client, TAsyncSocket& server,
                                         std::string text) {
  if (!ReadListing(client, server, text)) return;
  state_.UidlReply = ParseListText(text.substr(0, text.find("\r\n.\r\n") + 5));
  client.LastCommand = "*LIST";
  state_.LastUid = "0";
  if (state_.UidlReply.size() > 1) {
    state_.UidFileStem = MakeUidFileStem(state_.AccountText);
    controls_.lblAccountCaption = "Current account:" + state_.UidFileStem;
    state_.LastUid = ReadUidMarker(UidMarkerFile(state_));
  }
  state_.ScanPosition = 1;
  for (int k = 1; k <= MessageLines(state_.UidlReply); ++k) {
    if (AfterFirstBlank(state_.UidlReply[static_cast<std::size_t>(k)]) == state_.LastUid) {
      state_.ScanPosition = k + 1;
      break;
    }
  }
  state_.ScanStart = state_.ScanPosition;
  TProgressBar& progress = controls_.ProgressBar1;
  if (MessageLines(state_.ListReply) < state_.ScanStart) {
    progress.SetMin(0);
    progress.SetMax(state_.ScanStart + 1);
    progress.SetMin(state_.ScanStart);
  } else {
    progress.SetMin(state_.ScanStart);
    progress.SetMax(MessageLines(state_.ListReply));
  }
  progress.SetPosition(state_.ScanStart);
  if (state_.ScanPosition == static_cast<int>(state_.UidlReply.size()) - 1) {
    ReleaseListReply(client);  // nothing new: the client gets its list at once
    return;
  }
  AskForHeader(client, server);
}

void TSessionScreening::ReleaseListReply(TMailGWClient& client) {
  client.SendString(HeldListReply(state_));
  client.LastCommand = "-";
}

void TSessionScreening::AskForHeader(TMailGWClient& client, TAsyncSocket& server) {
  server.SendString("TOP " + std::to_string(state_.ScanPosition) + " 0" + kCrLf);
  client.LastCommand = "*LIST";
}

void TSessionScreening::HeaderReplyArrived(TMailGWClient& client, TAsyncSocket& server,
                                           std::string text) {
  if (state_.ScanPosition >= static_cast<int>(state_.ListReply.size()) - 1) {
    client.LastCommand = "-";
    return;
  }
  if (state_.ScanCancelled) {
    review_.Clear();
    return;
  }
  const std::string& line = state_.ListReply[static_cast<std::size_t>(state_.ScanPosition)];
  state_.MessageSizes.Set(NumberOr0(SplitField(line, ' ', 0)), NumberOr0(AfterFirstBlank(line)));
  if (!ReadListing(client, server, text)) return;
  state_.HeaderLines = ParseListText(text);
  AddRow(state_.HeaderLines);
  state_.HeaderLines.clear();
  ++state_.ScanPosition;
  bool more = state_.ScanPosition < static_cast<int>(state_.ListReply.size()) - 1;
  if (!state_.ScanCancelled && more) {
    AskForHeader(client, server);
  } else if (!state_.ScanCancelled) {
    ScanComplete(client);
  }
  controls_.ProgressBar1.SetPosition(controls_.ProgressBar1.Position + 1);
}

void TSessionScreening::AddRow(const TextLines& headerLines) {
  MessageRow row;
  row.Subject = DecodedHeader(headerLines, "Subject");
  row.From = AddressPart(DecodedHeader(headerLines, "From"));
  row.To = AddressPart(DecodedHeader(headerLines, "To"));
  row.Date = ReviewDateText(DecodedHeader(headerLines, "Date"));
  row.File = DecodeEncodedWords(GetAttachmentName(headerLines));
  bool listed = DnsBlockListTest(headerLines, state_.DnsblList, resolver_);
  state_.SpamFlags.push_back(listed ? "1" : "0");
  row.Size = std::to_string(state_.MessageSizes.Get(state_.ScanPosition));
  row.MessageNumber = std::to_string(state_.ScanPosition);
  row.Uid = "0";
  row.CategoryIcon = MessageCategory::mcPending;
  review_.Add(std::move(row));
}

void TSessionScreening::ScanComplete(TMailGWClient& client) {
  ReviewClient = TSessionHandle(&client);
  controls_.Button1Enabled = true;
  Listele(review_, state_);
  client.LastCommand = "-";
  TPopupProperties& popup = popup_.Properties();
  popup.GradientColor1 = "$02F0F0FA";
  popup.GradientColor2 = "$02A0A0FA";
  popup.Title = "Quillbright";
  popup.TimeOut = 1000000;
  popup.Text = kListReadyText;
  popup_.ShowPopup();
  tray_.ShowMainWindow();
}

// A scan that cannot go on: the rows are dropped, the user is told, and the
// mail client gets "-ERR" for its LIST instead of waiting for ever.
void TSessionScreening::CancelScan(TMailGWClient& client) {
  client.LastCommand = "-";
  state_.ScanCancelled = true;
  review_.Clear();
  controls_.ProgressBar1 = TProgressBar{0, 0, 0};
  if (client.State() == wsConnected) client.SendString("-ERR" + kCrLf);
  CurrentDialogs().ShowMessageBox(kListingCanceledText, TMsgDlgType::mtError);
}

}  // namespace qb
