#include "screening/MessageRow.h"

namespace qb {

const std::string& ColumnText(const MessageRow& row, ReviewColumn column) {
  static const std::string kNone;
  switch (column) {
    case ReviewColumn::From:
      return row.From;
    case ReviewColumn::Subject:
      return row.Subject;
    case ReviewColumn::Size:
      return row.Size;
    case ReviewColumn::Uid:
      return row.Uid;
    case ReviewColumn::To:
      return row.To;
    case ReviewColumn::Date:
      return row.Date;
    case ReviewColumn::File:
      return row.File;
    case ReviewColumn::MessageNumber:  // hidden; the row's number is Number
    case ReviewColumn::Count:
      break;
  }
  return kNone;
}

}  // namespace qb
