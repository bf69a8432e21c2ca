#pragma once
// A worker-thread wrapper: runs one piece of work at a time on a fresh thread, lets the
// work call into the main thread and wait for the answer, and can make the starting call
// wait (serving the main thread's calls) until the work has ended.
//
// POSIX threads cannot be killed safely, so a hard stop is cooperative: the worker is
// marked killed, every later check point and main-thread call of it ends the work at
// once, and nothing it still asks of the main thread is run.
// Plain C++: no Qt here.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/ThreadPriority.h"

namespace http {

// The program's one priority type and its nice values.
using core::TThreadPriority;
using enum core::TThreadPriority;
using core::NiceValueOf;
using core::PriorityOfNiceValue;

// Thrown on a worker that has been stopped hard; the thread function catches it and ends.
struct WorkerStopped {};

class TCustomWinThread;

// The worker itself. Created suspended; Resume() starts its thread, once.
class TEventWinThread {
 public:
  using WorkHandler = std::function<void(TCustomWinThread&)>;
  using Handler = std::function<void()>;

  explicit TEventWinThread(TCustomWinThread& owner);
  ~TEventWinThread();  // stops and joins (serving main-thread calls while it waits)
  TEventWinThread(const TEventWinThread&) = delete;
  TEventWinThread& operator=(const TEventWinThread&) = delete;

  void Resume();
  bool Executing() const { return executing_; }
  bool Terminated() const { return terminated_; }
  bool Suspended() const { return suspended_; }
  bool Killed() const { return killed_; }
  bool Finished() const { return finished_; }
  // True while a call of this worker runs on the main thread.
  bool ServingOnMain() const { return servingOnMain_; }
  void Terminate() { terminated_ = true; }
  // Marks the worker killed: from now on it ends at its next check point or main-thread call.
  void Kill();
  // Waits for the thread to end, serving main-thread calls when called on the main thread.
  void Join();

  // Suspends a running worker: it waits at its next check point until resumed.
  void Pause() {
    suspended_ = true;
    SetPaused(true);
  }
  void SetPaused(bool paused);
  void WaitWhilePaused();

  TThreadPriority Priority() const { return priority_; }
  // Applies the priority to the thread (now or when it starts); false when the system
  // refused it (raising priority needs privileges) - the wish is still kept.
  bool SetPriority(TThreadPriority p);
  bool PriorityApplied() const { return priorityApplied_; }

  WorkHandler work;
  Handler errorHandler;
  Handler terminationHandler;

  void CallInMainThread(const std::function<void()>& fn);

 private:
  friend class TCustomWinThread;
  void ThreadMain();
  bool ApplyPriority();

  TCustomWinThread& owner_;
  std::thread thread_;
  std::atomic<bool> executing_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> suspended_{true};
  std::atomic<bool> killed_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> servingOnMain_{false};
  std::atomic<int> nativeTid_{0};
  std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
  std::atomic<bool> priorityApplied_{true};
  std::mutex pauseMutex_;
  std::condition_variable pauseSignal_;
  bool paused_ = false;
};

class TCustomWinThread {
 public:
  TCustomWinThread();
  ~TCustomWinThread();
  TCustomWinThread(const TCustomWinThread&) = delete;
  TCustomWinThread& operator=(const TCustomWinThread&) = delete;

  // Starts one run of the work handler on a fresh worker. False only in wait mode, when a
  // wait period expired and OnWaitTimeoutExpired left TerminateThread true.
  bool Run();
  // false: cooperative stop request. true: ends the worker at once (it runs no more of its
  // work and nothing it still asks of the main thread) and installs a fresh suspended one.
  // Called by the running worker itself, it ends that worker there and then.
  void Stop(bool immediately);
  bool IsExecuting() const;
  // The check point of the work: true when a stop was requested. Also waits here while
  // the worker is suspended.
  bool IsTerminated() const;
  bool IsSuspended() const;
  // True on a worker that has been stopped hard: it must not do anything more.
  bool IsStoppedHard() const { return Current().Killed(); }
  void SetSuspended(bool suspended);
  void Suspend() { SetSuspended(true); }
  // Applies the Suspended wish once the owner has set everything up.
  void Loaded() { SetSuspended(Suspended); }

  // Runs fn on the main thread and returns when it has run. Skipped while the owner is
  // being destroyed. A stopped worker ends here (WorkerStopped).
  void CallInMainThread(const std::function<void()>& fn);

  TThreadPriority GetPriority() const;
  // False when the system refused the level; the level is kept and applied to later workers.
  bool SetPriority(TThreadPriority p);
  bool PriorityApplied() const;

  void SetWorkHandler(TEventWinThread::WorkHandler h);
  void SetErrorHandler(TEventWinThread::Handler h);
  void SetTerminationHandler(TEventWinThread::Handler h);

  // The owning component is being destroyed: main-thread calls are skipped from now on.
  void SetOwnerDestroying() { ownerDestroying_ = true; }
  bool OwnerDestroying() const { return ownerDestroying_; }

  bool Suspended = true;
  bool HandleException = true;
  bool WaitThread = false;
  int32_t WaitTimeout = 0;  // ms; 0: no limit
  std::function<void(TCustomWinThread& sender, bool& terminateThread)> OnWaitTimeoutExpired;

  // Hooks the windowed program installs so that a waiting main thread keeps its user
  // interface alive: processEvents runs the toolkit's pending events, terminating tells
  // whether the application is quitting. Both may stay empty.
  struct WaitHooks {
    std::function<void()> processEvents;
    std::function<bool()> terminating;
  };
  static void SetWaitHooks(WaitHooks hooks);

  // The worker currently installed (for tests and for the thread function).
  TEventWinThread& Worker() const { return *worker_; }

 private:
  friend class TEventWinThread;
  std::unique_ptr<TEventWinThread> MakeWorker() const;
  TEventWinThread& Current() const;
  void RetireFinished();
  bool WaitForWorker();

  std::unique_ptr<TEventWinThread> worker_;
  // Workers stopped hard while one of their calls was being served on the main thread:
  // they end as soon as that call returns and are joined later.
  std::vector<std::unique_ptr<TEventWinThread>> retired_;
  std::atomic<bool> ownerDestroying_{false};
  bool destroying_ = false;
  TEventWinThread::WorkHandler work_;
  TEventWinThread::Handler error_;
  TEventWinThread::Handler termination_;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
};

}  // namespace http
