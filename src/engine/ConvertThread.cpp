// The job's threads: suspended start, a per-thread nice value, joined by their owner.

#include "engine/ConvertThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <limits>

#include "enginebase/InterruptRegistry.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavutil/time.h>
}

namespace engine {

TJobThread::TJobThread(std::function<void()> body, bool suspended, TThreadPriority priority)
    : body_(std::move(body)), priority_(priority), running_(!suspended) {
  thread_ = std::thread([this] { Main(); });
}

TJobThread::~TJobThread() { Join(); }

void TJobThread::Main() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    tid_ = gettid();
    resumed_.wait(lock, [this] { return running_; });
  }
  // Only this thread's nice value changes; raising it above normal needs privileges, and
  // without them the thread simply runs at the normal priority.
  if (core::NiceValueOf(priority_) != getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())))
    (void)core::ApplyThreadPriority(gettid(), priority_);
  body_();
}

void TJobThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return;
    running_ = true;
  }
  resumed_.notify_all();
}

bool TJobThread::Suspended() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !running_;
}

bool TJobThread::IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

void TJobThread::Join() {
  if (!thread_.joinable()) return;
  if (IsCurrent()) {
    thread_.detach();
    return;
  }
  // A thread that never ran is let through so that it can end.
  Resume();
  thread_.join();
}

pid_t TJobThread::Tid() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tid_;
}

TConvertThread::TConvertThread(TCustomFFmpeg& job, TThreadPriority priority)
    : TJobThread(
          [&job] {
            // The run-done event was reset when the worker was made, so a waiter never
            // sees it set before the run.
            struct Done {
              TCustomFFmpeg& job;
              ~Done() { job.RunDoneEvent.Set(); }
            } done{job};
            job.RunJob();
          },
          true, priority) {}

TDoTerminateThread::TDoTerminateThread(TCustomFFmpeg& job)
    : TJobThread(
          [&job] {
            struct Done {
              TCustomFFmpeg& job;
              ~Done() { job.TerminateDoneEvent.Set(); }
            } done{job};
            job.DoTerminate();
          },
          false, tpNormal) {}

bool BlockingOpenInterrupted(void* job) {
  // The time-out check first: it also reports a cancelled open.
  if (TCustomFFmpeg::IoTimedOut(job)) return true;
  return job && static_cast<TCustomFFmpeg*>(job)->StopRequested;
}

ScopedBlockingOpen::ScopedBlockingOpen(TCustomFFmpeg& job) : job_(job) {
  job_.IoStartTime = std::numeric_limits<int64_t>::max();
  InterruptRegistry().AddCheck(TFFLogger::CurrentThreadId(), &job_, &BlockingOpenInterrupted);
  job_.IoStartTime = av_gettime_relative();
}

void ScopedBlockingOpen::Restart() {
  // A cancelled open stays cancelled.
  if (job_.IoStartTime != 0) job_.IoStartTime = av_gettime_relative();
}

ScopedBlockingOpen::~ScopedBlockingOpen() {
  job_.IoStartTime = std::numeric_limits<int64_t>::max();
  InterruptRegistry().RemoveCheck(TFFLogger::CurrentThreadId(), &job_, &BlockingOpenInterrupted);
}

}  // namespace engine
