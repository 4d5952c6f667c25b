// One row of the review list: the columns shown for a scanned message, its
// category icon and its tick.
#pragma once

#include <cstdint>
#include <string>

#include "screening/ScreeningText.h"

namespace qb {

// The row's icon index. Every category but mcUseful and mcPending is
// ticked by the classification.
enum class MessageCategory {
  mcVirus = 0,
  mcSpam = 1,
  mcUseful = 2,
  mcPending = 3,  // not yet classified
  mcBlockedSubject = 4,
  mcBlockedSender = 5,
  mcBlockedRecipient = 6,
};

// The review list's columns, in the order a view shows them. A new column
// is one entry here (before Count), its text in ColumnText and its caption
// in the view's column table.
enum class ReviewColumn {
  From,
  Subject,
  Size,
  MessageNumber,  // hidden in the view
  Uid,            // hidden in the view
  To,
  Date,
  File,
  Count,
};

struct MessageRow {
  std::string From;         // the item text: column 0
  std::string Subject;      // sub-item 0
  std::string Size;         // sub-item 1: bytes, decimal
  std::int64_t Number = 0;  // the message's number on the server (sub-item 2, hidden, has no text)
  std::string Uid = "0";    // sub-item 3 (hidden): unique id once classified
  std::string To;           // sub-item 4
  std::string Date;         // sub-item 5: "yyyy.mm.dd hh:nn:ss" or empty
  std::string File;         // sub-item 6: the attachment name
  MessageCategory CategoryIcon = MessageCategory::mcPending;
  bool Checked = false;
  std::string ListedRelay{};  // the relay address the DNS block list holds, if any
  std::string Rule{};         // what ticked the row: the list entry or the listed relay
  std::string FromName{};     // the display name of From, decoded; empty without one
  TextLines Attachments{};    // the file names its parts give (MimeParts), decoded

  // What the scan's TOP reply brought of the message, kept for a learning
  // classifier to tokenize: the top header's physical lines, and the first
  // body lines (dot-unstuffed, at most kScanBodyLines of them and
  // kKeptBodyBytes in all, see TopReply.h). Empty for rows the scan did not
  // make.
  TextLines HeaderLines{};
  TextLines BodyLines{};
};

// The text a column shows; empty for a column the row does not have.
const std::string& ColumnText(const MessageRow& row, ReviewColumn column);

}  // namespace qb
