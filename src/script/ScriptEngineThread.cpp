#include "script/ScriptEngineThread.h"

#include <stdexcept>

namespace script {

ScriptEngineThread::ScriptEngineThread(EngineFactory create) {
  thread_.reset(QThread::create([this, create = std::move(create)] { threadMain(create); }));
  thread_->setObjectName(QStringLiteral("script engine"));
  thread_->setStackSize(kStackSize);
  thread_->start();
  if (!thread_->isRunning() && !thread_->isFinished()) {
    throw std::runtime_error("the script engine's thread cannot be started");
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return ready_; });
  if (startError_) {
    lock.unlock();
    thread_->wait();
    std::rethrow_exception(startError_);
  }
}

ScriptEngineThread::~ScriptEngineThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_) thread_->wait();
}

void ScriptEngineThread::threadMain(const EngineFactory& create) {
  try {
    engine_ = create();
    if (!engine_) throw std::runtime_error("the script engine could not be created");
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    startError_ = std::current_exception();
    ready_ = true;
    changed_.notify_all();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  ready_ = true;
  changed_.notify_all();
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || (task_ && !taskDone_); });
    if (quit_) break;
    const auto* task = task_;
    lock.unlock();
    std::exception_ptr error;
    try {
      (*task)(*engine_);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    taskError_ = error;
    taskDone_ = true;
    changed_.notify_all();
  }
  lock.unlock();
  engine_.reset();
}

void ScriptEngineThread::Run(const std::function<void(QJSEngine&)>& task,
                             const std::function<bool()>& keepGoing,
                             std::chrono::milliseconds pollInterval) {
  engine_->setInterrupted(false);
  std::unique_lock<std::mutex> lock(mutex_);
  task_ = &task;
  taskDone_ = false;
  taskError_ = nullptr;
  changed_.notify_all();
  bool polling = static_cast<bool>(keepGoing);
  auto nextPoll = std::chrono::steady_clock::now() + pollInterval;
  for (;;) {
    changed_.wait_until(lock, nextPoll,
                        [this] { return taskDone_ || (ownerCall_ && !ownerCallDone_); });
    if (taskDone_) break;
    // The poll comes first, so that a script that calls the owner without pause is still
    // asked about on time.
    if (polling && std::chrono::steady_clock::now() >= nextPoll) {
      lock.unlock();
      const bool goOn = keepGoing();
      if (!goOn) Interrupt();
      lock.lock();
      polling = goOn;
      nextPoll = std::chrono::steady_clock::now() + pollInterval;
      continue;
    }
    if (ownerCall_ && !ownerCallDone_) {
      const auto* call = ownerCall_;
      lock.unlock();
      std::exception_ptr error;
      try {
        (*call)();
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      ownerCallError_ = error;
      ownerCallDone_ = true;
      changed_.notify_all();
      continue;
    }
    if (!polling) nextPoll = std::chrono::steady_clock::now() + pollInterval;
  }
  task_ = nullptr;
  if (taskError_) std::rethrow_exception(std::exchange(taskError_, nullptr));
}

void ScriptEngineThread::Interrupt() { engine_->setInterrupted(true); }

void ScriptEngineThread::CallOwner(const std::function<void()>& fn) {
  std::unique_lock<std::mutex> lock(mutex_);
  ownerCall_ = &fn;
  ownerCallDone_ = false;
  ownerCallError_ = nullptr;
  changed_.notify_all();
  changed_.wait(lock, [this] { return ownerCallDone_; });
  ownerCall_ = nullptr;
  if (ownerCallError_) std::rethrow_exception(std::exchange(ownerCallError_, nullptr));
}

}  // namespace script
