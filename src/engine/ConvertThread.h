#pragma once
// The threads of a job: the worker that runs the conversion, and the short-lived thread
// that ends a job which was never started. Both are plain std::threads owned by the job's
// run control and joined before the job goes away; a thread is never killed.

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/CustomFFmpeg.h"

namespace engine {

// A thread that waits for Resume() before it runs its body (unless created running).
class TJobThread {
 public:
  TJobThread(std::function<void()> body, bool suspended, TThreadPriority priority);
  virtual ~TJobThread();  // joins (detaches when called on the thread itself)
  TJobThread(const TJobThread&) = delete;
  TJobThread& operator=(const TJobThread&) = delete;

  // Lets a suspended thread run; nothing when it already runs.
  void Resume();
  bool Suspended();
  // Waits until the thread has ended; on the thread itself it only detaches.
  void Join();
  bool IsCurrent() const;
  TThreadPriority Priority() const { return priority_; }
  // The kernel's id of the thread, once it has begun (0 before).
  pid_t Tid();

 private:
  void Main();

  std::function<void()> body_;
  TThreadPriority priority_;
  std::mutex mutex_;
  std::condition_variable resumed_;
  bool running_ = false;
  pid_t tid_ = 0;
  std::thread thread_;
};

// Runs RunJob at its priority; the job's RunDoneEvent is set when RunJob has returned.
class TConvertThread : public TJobThread {
 public:
  TConvertThread(TCustomFFmpeg& job, TThreadPriority priority);
};

// Ends a never-started job: DoTerminate, then the job's TerminateDoneEvent is set.
class TDoTerminateThread : public TJobThread {
 public:
  explicit TDoTerminateThread(TCustomFFmpeg& job);
};

// Around a blocking open: the job's time-out check is registered for the calling thread
// and the open's start time is recorded; both are undone when the object goes.
class ScopedBlockingOpen {
 public:
  explicit ScopedBlockingOpen(TCustomFFmpeg& job);
  ~ScopedBlockingOpen();
  ScopedBlockingOpen(const ScopedBlockingOpen&) = delete;
  ScopedBlockingOpen& operator=(const ScopedBlockingOpen&) = delete;
  // A further blocking step under the same registration gets its own time.
  void Restart();

 private:
  TCustomFFmpeg& job_;
};

// Waits for every thread the job made; a thread of the job asking only lets go of itself.
// The job's destructor calls it after asking the job to stop.
void JoinJobThreads(const TCustomFFmpeg* job);

// The check registered around blocking opens: the job was asked to stop, or its open
// took longer than IoTimeout (TCustomFFmpeg::IoTimedOut).
bool BlockingOpenInterrupted(void* job);

}  // namespace engine
