#include "core/MainThread.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace core {
namespace {

struct State {
  std::mutex mutex;
  std::condition_variable queued;  // signalled whenever work arrives
  std::deque<std::function<void()>> work;
  std::function<void()> waker;
  std::thread::id mainId = std::this_thread::get_id();
};

State& state() {
  static State s;
  return s;
}

void enqueue(std::function<void()> fn) {
  State& s = state();
  std::function<void()> waker;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.work.push_back(std::move(fn));
    waker = s.waker;
  }
  s.queued.notify_all();
  if (waker) waker();
}

}  // namespace

void MainThread::SetCurrentAsMain() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().mainId = std::this_thread::get_id();
}

bool MainThread::IsMainThread() {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().mainId == std::this_thread::get_id();
}

void MainThread::Call(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  std::exception_ptr error;
  enqueue([&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(doneMutex);
    done = true;
    doneSignal.notify_all();
  });
  std::unique_lock<std::mutex> lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
  if (error) std::rethrow_exception(error);
}

void MainThread::Post(std::function<void()> fn) { enqueue(std::move(fn)); }

void MainThread::SetWaker(std::function<void()> waker) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().waker = std::move(waker);
}

int MainThread::ProcessPending() {
  State& s = state();
  int count = 0;
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.work.empty()) break;
      fn = std::move(s.work.front());
      s.work.pop_front();
    }
    fn();
    ++count;
  }
  return count;
}

bool MainThread::WaitWhileServing(const std::function<bool()>& done,
                                  std::chrono::milliseconds timeout) {
  State& s = state();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ProcessPending();
    if (done()) return true;
    if (timeout.count() >= 0 && std::chrono::steady_clock::now() >= deadline) return done();
    // Wake on new work; poll done() regularly since it may change without queued work.
    std::unique_lock<std::mutex> lock(s.mutex);
    s.queued.wait_for(lock, std::chrono::milliseconds(5), [&] { return !s.work.empty(); });
  }
}

}  // namespace core
