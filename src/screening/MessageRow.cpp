#include "screening/MessageRow.h"

namespace qb {

const std::string& ColumnText(const MessageRow& row, int column) {
  static const std::string kNone;
  switch (column) {
    case 0:
      return row.From;
    case 1:
      return row.Subject;
    case 2:
      return row.Size;
    case 4:
      return row.Uid;
    case 5:
      return row.To;
    case 6:
      return row.Date;
    case 7:
      return row.File;
    default:
      return kNone;
  }
}

}  // namespace qb
