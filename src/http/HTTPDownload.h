// THTTPDownload: downloads one HTTP resource on a worker thread and reports
// the outcome through events on the main thread.
//
// Create, use and destroy it on the main thread. Its events run when the
// main thread dispatches messages (its loop, a modal pump, or the wait of
// WaitThread). Exactly one of OnDoneFile, OnDoneString and OnError fires per
// download; a destroyed component receives no event at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/HTTPDownloadRequest.h"
#include "platform/MessageLoop.h"

namespace qb {

class THTTPDownload;

using TOnDoneFileEvent =
    std::function<void(THTTPDownload& Sender, const std::string& FileName, std::int64_t FileSize)>;
using TOnDoneStringEvent = std::function<void(THTTPDownload& Sender, const std::string& Result)>;

class THTTPDownload {
 public:
  using TNotifyEvent = std::function<void(THTTPDownload& Sender)>;

  THTTPDownload();
  ~THTTPDownload();  // stops a running download
  THTTPDownload(const THTTPDownload&) = delete;
  THTTPDownload& operator=(const THTTPDownload&) = delete;

  std::string AcceptTypes = "*/*";  // the Accept header's value
  std::string Agent;                // sent as the User-Agent when set
  bool BinaryData = false;          // a reply without a Content-Length fails
  std::string URL;                  // "http://", host name, path; always port 80
  bool UseCache = false;            // false: ask every cache on the way to pass the request on
  std::string FileName;             // created or overwritten by DownloadFile
  std::string UserName;             // with Password: basic credentials, when set
  std::string Password;
  std::string PostQuery;  // non-empty: a POST with this form-encoded body
  std::string Referer;
  bool WaitThread = false;  // the start operations wait for the end (WaitLimit at most)
  // How long WaitThread waits before giving up on the end.
  std::chrono::milliseconds WaitLimit{std::chrono::seconds(30)};

  TOnProgressEvent OnProgress;
  TOnDoneFileEvent OnDoneFile;
  TOnDoneStringEvent OnDoneString;
  TNotifyEvent OnError;

  // Starts a download of URL into FileName. Does nothing while a download of
  // this component is running.
  void DownloadFile();
  // The same, with the body collected as text for OnDoneString.
  void DownloadString();
  // Asks a running download to stop; it then ends with OnError.
  void StopDownload();

  bool Downloading() const { return worker_ != nullptr; }
  bool Succeeded() const { return succeeded_; }  // outcome of the last download

 private:
  void Start(bool toFile);
  THTTPDownloadRequest MakeRequest(bool toFile) const;
  void WaitForEnd(std::uint64_t download);
  LRESULT HandleMessage(std::uint32_t msg);
  void WorkerDone();

  HWND window_ = 0;
  std::unique_ptr<THTTPDownloadThread> worker_;
  bool succeeded_ = false;
  std::uint64_t startedDownloads_ = 0;
  std::uint64_t endedDownloads_ = 0;
};

}  // namespace qb
