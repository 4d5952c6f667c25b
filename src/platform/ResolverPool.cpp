#include "platform/ResolverPool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace qb {

namespace {

constexpr std::uint32_t WM_LOOKUP_DONE = WM_USER + 40;

struct Job {
  TLookupId Id = 0;
  std::string Name;
  bool Running = false;
  bool Abandoned = false;  // cancelled or timed out: nobody waits for it
  TLookupFamily Family = TLookupFamily::lfIPv4;
  TLookupResult Result;
};

}  // namespace

struct TResolverPool::Shared {
  Shared(IHostResolver& resolver, std::size_t target, HWND window)
      : Resolver(resolver), Target(target), Window(window) {}

  IHostResolver& Resolver;
  const std::size_t Target;
  const HWND Window;

  std::mutex Mutex;
  std::condition_variable Work;    // a job was queued, or the pool stops
  std::condition_variable Exited;  // a worker ended
  std::deque<std::shared_ptr<Job>> Queue;
  std::unordered_map<TLookupId, std::shared_ptr<Job>> Jobs;  // queued or running for someone
  std::size_t Workers = 0;
  std::size_t Idle = 0;  // workers waiting for a job
  bool Stopping = false;

  // Starts one worker; the caller holds Mutex. A thread that cannot be
  // started leaves the pool smaller.
  void StartWorker(const std::shared_ptr<Shared>& self) {
    try {
      std::thread([self] { self->WorkerMain(); }).detach();
      ++Workers;
    } catch (const std::system_error&) {
    }
  }

  TLookupResult Lookup(const Job& job) {
    TLookupResult result;
    try {
      if (job.Family == TLookupFamily::lfIPv6) {
        result.Addresses6 = Resolver.ResolveIPv6(job.Name);
      } else {
        result.Addresses = Resolver.ResolveIPv4(job.Name);
      }
    } catch (...) {
    }
    return result;
  }

  void WorkerMain() {
    std::unique_lock lock(Mutex);
    for (;;) {
      ++Idle;
      Work.wait(lock, [this] { return Stopping || !Queue.empty(); });
      --Idle;
      if (Stopping) break;
      std::shared_ptr<Job> job = std::move(Queue.front());
      Queue.pop_front();
      if (job->Abandoned) continue;
      job->Running = true;
      lock.unlock();
      TLookupResult result = Lookup(*job);
      lock.lock();
      job->Running = false;
      if (Stopping) break;
      if (!job->Abandoned) {
        job->Result = std::move(result);
        MessageLoop::Instance().PostMessage(Window, WM_LOOKUP_DONE, job->Id);
      }
      // A worker started while the others were busy leaves when it is not needed.
      if (Workers > Target && Queue.empty()) break;
    }
    --Workers;
    Exited.notify_all();
  }

  // Nobody waits for the job any more; a worker inside the resolver for it
  // finishes the call and drops the result.
  void Abandon(TLookupId id) {
    std::lock_guard lock(Mutex);
    auto found = Jobs.find(id);
    if (found == Jobs.end()) return;
    found->second->Abandoned = true;
    Jobs.erase(found);
  }

  // Every worker is busy (perhaps inside a resolver that never answers): one
  // more is started, so the job does not wait for them.
  void Add(std::shared_ptr<Job> job, const std::shared_ptr<Shared>& self) {
    std::lock_guard lock(Mutex);
    Jobs.emplace(job->Id, job);
    Queue.push_back(std::move(job));
    if (Queue.size() > Idle && Workers < Target * kMaxThreadsFactor) StartWorker(self);
    Work.notify_one();
  }
};

TResolverPool::TResolverPool(IHostResolver& resolver, std::size_t threads) {
  window_ =
      MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
        return WndProc(msg, wParam, lParam);
      });
  shared_ = std::make_shared<Shared>(resolver, threads == 0 ? 1 : threads, window_);
  std::lock_guard lock(shared_->Mutex);
  for (std::size_t i = 0; i < shared_->Target; ++i) shared_->StartWorker(shared_);
}

TResolverPool::~TResolverPool() {
  MessageLoop::Instance().DestroyWindow(window_);  // no result or timer arrives any more
  std::unique_lock lock(shared_->Mutex);
  shared_->Stopping = true;
  shared_->Queue.clear();
  for (auto& [id, job] : shared_->Jobs) job->Abandoned = true;
  shared_->Jobs.clear();
  shared_->Work.notify_all();
  shared_->Exited.wait_for(lock, kShutdownGrace, [this] { return shared_->Workers == 0; });
}

std::size_t TResolverPool::Workers() const {
  std::lock_guard lock(shared_->Mutex);
  return shared_->Workers;
}

TLookupId TResolverPool::Resolve(std::string name, std::chrono::milliseconds limit,
                                 TLookupDone done) {
  return Resolve(std::move(name), limit, std::move(done), TLookupFamily::lfIPv4);
}

TLookupId TResolverPool::Resolve(std::string name, std::chrono::milliseconds limit,
                                 TLookupDone done, TLookupFamily family) {
  TLookupId id = nextId_++;
  auto job = std::make_shared<Job>();
  job->Id = id;
  job->Name = std::move(name);
  job->Family = family;
  pending_.emplace(id, std::move(done));
  MessageLoop::Instance().SetTimer(window_, id, std::max(limit, std::chrono::milliseconds(1)));
  shared_->Add(std::move(job), shared_);
  return id;
}

void TResolverPool::Cancel(TLookupId id) {
  if (pending_.erase(id) == 0) return;
  MessageLoop::Instance().KillTimer(window_, id);
  shared_->Abandon(id);
}

LRESULT TResolverPool::WndProc(std::uint32_t msg, WPARAM wParam, LPARAM) {
  if (msg == WM_LOOKUP_DONE) {
    TLookupResult result;
    {
      std::lock_guard lock(shared_->Mutex);
      auto found = shared_->Jobs.find(wParam);
      if (found == shared_->Jobs.end()) return 0;
      result = std::move(found->second->Result);
      shared_->Jobs.erase(found);
    }
    Finish(wParam, result);
  } else if (msg == WM_TIMER) {
    TimeOut(wParam);
  }
  return 0;
}

void TResolverPool::TimeOut(TLookupId id) {
  shared_->Abandon(id);
  TLookupResult timedOut;
  timedOut.TimedOut = true;
  Finish(id, timedOut);
}

void TResolverPool::Finish(TLookupId id, const TLookupResult& result) {
  MessageLoop::Instance().KillTimer(window_, id);
  auto found = pending_.find(id);
  if (found == pending_.end()) return;
  TLookupDone done = std::move(found->second);
  pending_.erase(found);
  if (done) done(result);
}

}  // namespace qb
