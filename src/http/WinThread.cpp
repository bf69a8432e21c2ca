#include "http/WinThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <chrono>

#include "core/MainThread.h"

namespace http {
namespace {

std::mutex& hooksMutex() {
  static std::mutex m;
  return m;
}
TCustomWinThread::WaitHooks& hooks() {
  static TCustomWinThread::WaitHooks h;
  return h;
}
TCustomWinThread::WaitHooks currentHooks() {
  std::lock_guard<std::mutex> lock(hooksMutex());
  return hooks();
}

thread_local TEventWinThread* tlsWorker = nullptr;
std::atomic<uint64_t> callsServed{0};

}  // namespace

// ---- TEventWinThread ----

TEventWinThread::TEventWinThread(TCustomWinThread& owner) : owner_(owner) {}

TEventWinThread::~TEventWinThread() {
  terminated_ = true;
  SetPaused(false);
  Join();
}

void TEventWinThread::Resume() {
  if (!suspended_) return;
  suspended_ = false;
  if (!thread_.joinable() && !finished_) {
    thread_ = std::thread([this] { ThreadMain(); });
  } else {
    SetPaused(false);
  }
}

void TEventWinThread::Kill() {
  killed_ = true;
  terminated_ = true;
  executing_ = false;
  SetPaused(false);
}

void TEventWinThread::Join() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) return;
  if (core::MainThread::IsMainThread()) {
    core::MainThread::WaitWhileServing([this] { return finished_.load(); });
  }
  thread_.join();
}

void TEventWinThread::SetPaused(bool paused) {
  {
    std::lock_guard<std::mutex> lock(pauseMutex_);
    paused_ = paused;
  }
  pauseSignal_.notify_all();
}

void TEventWinThread::WaitWhilePaused() {
  std::unique_lock<std::mutex> lock(pauseMutex_);
  pauseSignal_.wait(lock, [this] { return !paused_ || terminated_; });
}

bool TEventWinThread::SetPriority(TThreadPriority p) {
  priority_ = p;
  return ApplyPriority();
}

bool TEventWinThread::ApplyPriority() {
  const int tid = nativeTid_;
  if (tid == 0) return priorityApplied_ = true;  // applied when the thread starts
  const bool ok = core::ApplyThreadPriority(tid, priority_);
  priorityApplied_ = ok;
  return ok;
}

void TEventWinThread::CallInMainThread(const std::function<void()>& fn) {
  if (killed_) throw WorkerStopped{};
  std::exception_ptr pending;
  core::MainThread::Call([&] {
    // A worker stopped hard, or an owner being destroyed, gets nothing more run for it.
    if (killed_ || owner_.OwnerDestroying()) return;
    servingOnMain_ = true;
    ++callsServed;
    try {
      fn();
    } catch (...) {
      pending = std::current_exception();
    }
    servingOnMain_ = false;
  });
  if (killed_) throw WorkerStopped{};
  if (pending && !owner_.HandleException) std::rethrow_exception(pending);
}

void TEventWinThread::ThreadMain() {
  tlsWorker = this;
  nativeTid_ = static_cast<int>(syscall(SYS_gettid));
  ApplyPriority();
  if (!terminated_) {
    executing_ = true;
    // Runs fn on the main thread and hands back what it raised there.
    auto guardedMainCall = [this](const Handler& fn) {
      std::exception_ptr raised;
      CallInMainThread([&] {
        try {
          fn();
        } catch (...) {
          raised = std::current_exception();
        }
      });
      return raised;
    };
    auto reportError = [&] {
      if (!owner_.OwnerDestroying() && errorHandler) guardedMainCall(errorHandler);
    };
    try {
      try {
        if (work) work(owner_);
      } catch (const WorkerStopped&) {
        throw;
      } catch (...) {
        // Guarded even when HandleException is off: an exception must not end the process.
        reportError();
      }
      if (terminationHandler && guardedMainCall(terminationHandler)) reportError();
    } catch (const WorkerStopped&) {
      // Stopped hard: nothing more runs for this worker.
    } catch (...) {
      // The error handler itself raised; there is no one left to tell.
    }
  }
  executing_ = false;
  finished_ = true;
}

// ---- TCustomWinThread ----

TCustomWinThread::TCustomWinThread() { worker_ = MakeWorker(); }

TCustomWinThread::~TCustomWinThread() {
  destroying_ = true;
  if (worker_ && worker_->Executing()) Stop(true);
  worker_.reset();
  for (auto& w : retired_) w->Join();
  retired_.clear();
}

std::unique_ptr<TEventWinThread> TCustomWinThread::MakeWorker() const {
  auto w = std::make_unique<TEventWinThread>(const_cast<TCustomWinThread&>(*this));
  w->work = work_;
  w->errorHandler = error_;
  w->terminationHandler = termination_;
  w->SetPriority(priority_);
  return w;
}

void TCustomWinThread::RetireFinished() {
  for (auto it = retired_.begin(); it != retired_.end();) {
    if ((*it)->Finished()) {
      (*it)->Join();
      it = retired_.erase(it);
    } else {
      ++it;
    }
  }
}

bool TCustomWinThread::Run() {
  Stop(true);
  RetireFinished();
  worker_->Resume();
  if (!WaitThread) return true;
  return WaitForWorker();
}

bool TCustomWinThread::WaitForWorker() {
  using Clock = std::chrono::steady_clock;
  TEventWinThread* w = worker_.get();
  auto periodStart = Clock::now();
  uint64_t seen = callsServed;
  for (;;) {
    core::MainThread::WaitWhileServing([w] { return w->Finished(); }, std::chrono::milliseconds(5));
    const WaitHooks h = currentHooks();
    if (h.processEvents) h.processEvents();
    if (w != worker_.get() || w->Finished() || destroying_) return true;
    if (h.terminating && h.terminating()) return true;
    if (callsServed != seen) {  // the worker asked for something: a new wait period starts
      seen = callsServed;
      periodStart = Clock::now();
      continue;
    }
    if (WaitTimeout > 0 && Clock::now() - periodStart >= std::chrono::milliseconds(WaitTimeout)) {
      bool terminateThread = true;
      if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(*this, terminateThread);
      if (terminateThread) Stop(true);
      return !terminateThread;
    }
  }
}

void TCustomWinThread::Stop(bool immediately) {
  TEventWinThread& w = Current();
  if (!immediately) {
    w.Terminate();
    w.SetPaused(false);
    return;
  }
  w.Kill();
  if (&w == tlsWorker) throw WorkerStopped{};  // the worker stopping itself ends here
  std::unique_ptr<TEventWinThread> old = std::move(worker_);
  worker_ = MakeWorker();
  if (old->ServingOnMain() && core::MainThread::IsMainThread()) {
    // One of its calls is running further up this very stack: it ends when that returns.
    retired_.push_back(std::move(old));
  } else {
    old->Join();
  }
}

TEventWinThread& TCustomWinThread::Current() const {
  // A worker asks about itself, never about whichever worker the wrapper holds by now.
  if (tlsWorker && &tlsWorker->owner_ == this) return *tlsWorker;
  return *worker_;
}

bool TCustomWinThread::IsExecuting() const { return worker_->Executing(); }

bool TCustomWinThread::IsTerminated() const {
  TEventWinThread& w = Current();
  w.WaitWhilePaused();
  return w.Terminated();
}

bool TCustomWinThread::IsSuspended() const { return worker_->Suspended(); }

void TCustomWinThread::SetSuspended(bool suspended) {
  Suspended = suspended;
  TEventWinThread& w = *worker_;
  if (suspended == w.Suspended()) return;
  if (suspended) {
    w.Pause();
  } else {
    w.Resume();
  }
}

void TCustomWinThread::CallInMainThread(const std::function<void()>& fn) {
  Current().CallInMainThread(fn);
}

TThreadPriority TCustomWinThread::GetPriority() const { return worker_->Priority(); }

bool TCustomWinThread::SetPriority(TThreadPriority p) {
  priority_ = p;
  return worker_->SetPriority(p);
}

bool TCustomWinThread::PriorityApplied() const { return worker_->PriorityApplied(); }

void TCustomWinThread::SetWorkHandler(TEventWinThread::WorkHandler h) {
  work_ = h;
  worker_->work = std::move(h);
}
void TCustomWinThread::SetErrorHandler(TEventWinThread::Handler h) {
  error_ = h;
  worker_->errorHandler = std::move(h);
}
void TCustomWinThread::SetTerminationHandler(TEventWinThread::Handler h) {
  termination_ = h;
  worker_->terminationHandler = std::move(h);
}

void TCustomWinThread::SetWaitHooks(WaitHooks h) {
  std::lock_guard<std::mutex> lock(hooksMutex());
  hooks() = std::move(h);
}

}  // namespace http
