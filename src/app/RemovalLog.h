// removed.log read back for the "Removed mail" window: one entry per line,
// newest first, with the path of its copy when the copy is still there, in
// removed/ or, marked for delivery, in removed/deliver/.
#pragma once

#include <string>
#include <vector>

namespace qb {

struct TRemovalLogEntry {
  std::string Time;
  std::string Account;
  std::string Uid;
  std::string Size;
  std::string Category;
  std::string Rule;
  std::string From;
  std::string Subject;
  std::string Copy;                // the copy's file name, or "no copy"
  std::string CopyPath;            // the copy's full path while it exists, else empty
  bool MarkedForDelivery = false;  // the copy waits in removed/deliver/
};

// The entries of the program folder's removed.log; lines with fewer fields
// than a removal's are passed over. Empty when there is no log.
std::vector<TRemovalLogEntry> ReadRemovalLog(const std::string& programFolder);

}  // namespace qb
