#include "http/HTTPDownloadThread.h"

#include <utility>

#include "http/SplitURL.h"
#include "platform/InternetSettings.h"

namespace qb {

THTTPDownloadThread::THTTPDownloadThread(THTTPDownloadRequest request, HWND notifyWindow)
    : request_(std::move(request)), notifyWindow_(notifyWindow) {}

THTTPDownloadThread::~THTTPDownloadThread() {
  RequestStop();
  Join();
}

void THTTPDownloadThread::Start() {
  thread_ = std::thread([this] { Run(); });
}

void THTTPDownloadThread::RequestStop() {
  {
    std::lock_guard guard(handOffLock_);
    stop_ = true;
  }
  handOffDone_.notify_all();
  transfer_.Wakeup();
}

void THTTPDownloadThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void THTTPDownloadThread::Run() {
  succeeded_ = Download();
  MessageLoop::Instance().PostMessage(notifyWindow_, kDoneMessage);
}

bool THTTPDownloadThread::Download() {
  TURLParts target = SplitURL(request_.URL);
  if (stop_) return false;
  std::optional<InternetSettings> settings = ReadInternetSettings();
  if (!settings) return false;
  if (!transfer_.Configure(request_, target, *settings, *this)) return false;
  transfer_.Perform(stop_);
  // Once the body has begun, a failing read ends the read loop like the
  // end of the data; the byte count then decides.
  bool succeeded = bodyStarted_ && !failed_ && !stop_ && FinishBody();
  return CloseFile() && succeeded;
}

bool THTTPDownloadThread::OnHeaderLine(std::string_view line) {
  reply_.AddLine(line);
  if (!reply_.Complete() || (reply_.Status() >= 100 && reply_.Status() <= 199)) return true;
  return BeginBody();
}

// The head is complete: decide on the length and open the target. An error
// status fails here, before the file is touched.
bool THTTPDownloadThread::BeginBody() {
  if (bodyStarted_) return true;
  bodyStarted_ = true;
  failed_ = true;
  if (stop_ || !reply_.Complete() || !reply_.IsSuccess()) return false;
  const std::optional<std::string>& length = reply_.ContentLength();
  if (!length && request_.BinaryData) return false;
  if (length) {
    std::optional<std::int64_t> size = ParseContentLength(*length);
    if (!size) return false;
    totalSize_ = *size;
  }
  if (request_.ToFile) {
    file_.reset(std::fopen(request_.FileName.c_str(), "wb"));
    if (file_ == nullptr) return false;
  }
  failed_ = false;
  return true;
}

bool THTTPDownloadThread::OnBodyBlock(std::string_view block) {
  if (!BeginBody() || failed_ || stop_) return false;
  if (!StoreBlock(block)) {
    failed_ = true;
    return false;
  }
  readed_ += static_cast<std::int64_t>(block.size());
  if (request_.OnProgress) HandOffProgress();
  return true;
}

bool THTTPDownloadThread::StoreBlock(std::string_view block) {
  if (!request_.ToFile) {
    resultText_.append(block);
    return true;
  }
  return std::fwrite(block.data(), 1, block.size(), file_.get()) == block.size();
}

// A file holds exactly the announced length (zero when none was announced);
// a text needs at least one byte, and the announced length when there was one.
bool THTTPDownloadThread::FinishBody() {
  bool lengthKnown = reply_.ContentLength().has_value();
  if (request_.ToFile) return readed_ == totalSize_;
  return readed_ != 0 && (!lengthKnown || readed_ == totalSize_);
}

bool THTTPDownloadThread::CloseFile() {
  if (file_ == nullptr) return true;
  return std::fclose(file_.release()) == 0;
}

void THTTPDownloadThread::HandOffProgress() {
  std::unique_lock lock(handOffLock_);
  progressPending_ = true;
  MessageLoop::Instance().PostMessage(notifyWindow_, kProgressMessage);
  handOffDone_.wait(lock, [this] { return !progressPending_ || stop_; });
}

// The worker is released even when the handler throws.
void THTTPDownloadThread::DeliverProgress() {
  {
    std::lock_guard guard(handOffLock_);
    if (!progressPending_) return;
  }
  try {
    if (!stop_) request_.OnProgress(*this, totalSize_, readed_);
  } catch (...) {
    FinishHandOff();
    throw;
  }
  FinishHandOff();
}

void THTTPDownloadThread::FinishHandOff() {
  {
    std::lock_guard guard(handOffLock_);
    progressPending_ = false;
  }
  handOffDone_.notify_all();
}

}  // namespace qb
