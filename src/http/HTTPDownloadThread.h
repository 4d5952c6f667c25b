// The download worker: runs one request on a thread of its own and reports
// to the component's hidden window through posted messages only.
//
// Threading: the worker works on its own copies of the properties. The main
// thread writes only the stop flag. Progress is a blocking hand-off: the
// worker posts kProgressMessage and waits until the main thread has run
// DeliverProgress, or until a stop is asked, so a worker never stays blocked
// on a main thread that is waiting to join it. The end is kDoneMessage; the
// results may be read once it has arrived (after Join).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "http/CurlTransfer.h"
#include "http/HTTPDownloadRequest.h"
#include "http/ReplyHeaders.h"
#include "platform/MessageLoop.h"

namespace qb {

class THTTPDownloadThread : private CurlTransfer::Receiver {
 public:
  static constexpr std::uint32_t kProgressMessage = WM_USER + 1;
  static constexpr std::uint32_t kDoneMessage = WM_USER + 2;

  // Created on the main thread; `notifyWindow` receives the two messages.
  THTTPDownloadThread(THTTPDownloadRequest request, HWND notifyWindow);
  // Asks for a stop and joins; returns once the thread has ended.
  ~THTTPDownloadThread() override;
  THTTPDownloadThread(const THTTPDownloadThread&) = delete;
  THTTPDownloadThread& operator=(const THTTPDownloadThread&) = delete;

  void Start();
  void RequestStop();  // main thread
  bool StopRequested() const { return stop_; }
  void DeliverProgress();  // main thread, on kProgressMessage
  void Join();

  bool ToFile() const { return request_.ToFile; }
  const std::string& FileName() const { return request_.FileName; }
  std::int64_t TotalSize() const { return totalSize_; }
  std::int64_t Readed() const { return readed_; }
  const std::string& ResultText() const { return resultText_; }
  bool Succeeded() const { return succeeded_; }

 private:
  void Run();
  bool Download();
  bool OnHeaderLine(std::string_view line) override;
  bool OnBodyBlock(std::string_view block) override;
  bool BeginBody();
  bool StoreBlock(std::string_view block);
  bool FinishBody();
  bool CloseFile();
  void HandOffProgress();
  void FinishHandOff();

  THTTPDownloadRequest request_;
  HWND notifyWindow_;
  CurlTransfer transfer_;
  std::thread thread_;

  std::atomic<bool> stop_{false};
  std::mutex handOffLock_;
  std::condition_variable handOffDone_;
  bool progressPending_ = false;  // guarded by handOffLock_

  // Worker-side state of the transfer.
  ReplyHeaders reply_;
  bool bodyStarted_ = false;
  bool failed_ = false;  // a fault that ends the download whatever was read
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;  // closed by CloseFile, which reports failure
  std::atomic<std::int64_t> totalSize_{0};
  std::atomic<std::int64_t> readed_{0};
  std::string resultText_;
  std::atomic<bool> succeeded_{false};
};

}  // namespace qb
