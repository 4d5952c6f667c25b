// What a download worker is given: its own copies of the component's
// properties, taken when the worker is created.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qb {

class THTTPDownloadThread;

// After each block read; Sender is the worker. Runs on the main thread while
// the worker waits.
using TOnProgressEvent =
    std::function<void(THTTPDownloadThread& Sender, std::int64_t TotalSize, std::int64_t Readed)>;

struct THTTPDownloadRequest {
  std::string AcceptTypes;
  std::string Agent;
  std::string URL;
  std::string FileName;
  std::string UserName;
  std::string Password;
  std::string PostQuery;
  std::string Referer;
  bool BinaryData = false;
  bool UseCache = false;
  bool ToFile = true;  // false: the body is collected as text
  TOnProgressEvent OnProgress;
};

}  // namespace qb
