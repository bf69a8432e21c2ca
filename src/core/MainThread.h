#pragma once
// Hand-over of work from any thread to the main thread.
//
// A worker that must run something on the main thread (an event handler, a log line)
// calls MainThread::Call, which blocks until the main thread has run it. The main thread
// serves these calls from its event loop: the windowed program installs a waker that
// posts ProcessPending() into the Qt event loop; the command line and the tests serve
// them with RunUntil or WaitWhileServing. A main thread that waits for a worker must wait
// with WaitWhileServing, so that the worker's calls into it cannot deadlock.
// Plain C++: no Qt here.

#include <chrono>
#include <functional>

namespace core {

class MainThread {
 public:
  // Records the calling thread as the main thread. Called once, first thing in main().
  static void SetCurrentAsMain();
  static bool IsMainThread();

  // Runs fn on the main thread and returns when it has returned. Runs it at once when
  // called on the main thread. An exception thrown by fn is rethrown to the caller.
  static void Call(const std::function<void()>& fn);

  // Queues fn to run on the main thread later and returns at once.
  static void Post(std::function<void()> fn);

  // Called (from any thread) whenever work is queued; the event-loop integration uses it
  // to schedule ProcessPending() on the main thread. Empty by default.
  static void SetWaker(std::function<void()> waker);

  // Runs every queued call; main thread only. Returns how many ran.
  static int ProcessPending();

  // Main thread: serves queued calls until done() is true or the timeout passes.
  // Returns done()'s last value. A negative timeout waits without limit.
  static bool WaitWhileServing(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));
};

}  // namespace core
