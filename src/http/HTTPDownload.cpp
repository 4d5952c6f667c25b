#include "http/HTTPDownload.h"

#include "http/HTTPDownloadThread.h"

namespace qb {

THTTPDownload::THTTPDownload() {
  window_ = MessageLoop::Instance().CreateWindow(
      [this](std::uint32_t msg, WPARAM, LPARAM) { return HandleMessage(msg); });
}

// The window goes first, so that the end of a stopped download finds no
// one to deliver to; the worker is then stopped and joined.
THTTPDownload::~THTTPDownload() {
  StopDownload();
  MessageLoop::Instance().DestroyWindow(window_);
  worker_.reset();
}

void THTTPDownload::DownloadFile() {
  Start(true);
}

void THTTPDownload::DownloadString() {
  Start(false);
}

void THTTPDownload::StopDownload() {
  if (!worker_) return;
  worker_->RequestStop();
  succeeded_ = false;
}

void THTTPDownload::Start(bool toFile) {
  if (worker_) return;
  worker_ = std::make_unique<THTTPDownloadThread>(MakeRequest(toFile), window_);
  std::uint64_t download = ++startedDownloads_;
  worker_->Start();
  if (WaitThread) WaitForEnd(download);
}

THTTPDownloadRequest THTTPDownload::MakeRequest(bool toFile) const {
  THTTPDownloadRequest request;
  request.AcceptTypes = AcceptTypes;
  request.Agent = Agent;
  request.URL = URL;
  request.FileName = FileName;
  request.UserName = UserName;
  request.Password = Password;
  request.PostQuery = PostQuery;
  request.Referer = Referer;
  request.BinaryData = BinaryData;
  request.UseCache = UseCache;
  request.ToFile = toFile;
  request.OnProgress = OnProgress;
  return request;
}

// Dispatches messages until the end of `download` has been delivered, or
// WaitLimit has passed, or the loop is asked to quit.
void THTTPDownload::WaitForEnd(std::uint64_t download) {
  MessageLoop& loop = MessageLoop::Instance();
  auto deadline = MessageLoop::Clock::now() + WaitLimit;
  while (endedDownloads_ < download) {
    auto left = deadline - MessageLoop::Clock::now();
    if (left <= left.zero()) return;
    if (!loop.WaitAndDispatch(std::chrono::ceil<std::chrono::milliseconds>(left))) return;
  }
}

LRESULT THTTPDownload::HandleMessage(std::uint32_t msg) {
  if (msg == THTTPDownloadThread::kProgressMessage && worker_) worker_->DeliverProgress();
  if (msg == THTTPDownloadThread::kDoneMessage) WorkerDone();
  return 0;
}

// The component is idle again before the events fire, so a handler may
// start the next download.
void THTTPDownload::WorkerDone() {
  if (!worker_) return;
  std::unique_ptr<THTTPDownloadThread> worker = std::move(worker_);
  worker->Join();
  succeeded_ = worker->Succeeded() && !worker->StopRequested();
  ++endedDownloads_;
  if (!succeeded_) {
    if (OnError) OnError(*this);
  } else if (worker->ToFile()) {
    if (OnDoneFile) OnDoneFile(*this, worker->FileName(), worker->TotalSize());
  } else if (OnDoneString) {
    OnDoneString(*this, worker->ResultText());
  }
}

}  // namespace qb
