#pragma once
// A script engine on a thread of its own, driven by the thread that owns the script host.
//
// The owner hands the engine a task and waits for it; while it waits it runs the calls
// that the engine thread hands back (host methods, event handlers), so every handler
// still runs on the owner's thread, and it asks a poll function at a fixed interval,
// which is how a script that never calls the host can still be stopped. The engine is
// created, used and destroyed on its own thread only.
//
// The thread gets a large stack (reserved address space; only the part in use takes
// memory): the engine's regular-expression compiler recurses once per nested group
// without a depth check, and the deepest pattern it accepts needs about 100 MB of stack.

#include <QJSEngine>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace script {

class ScriptEngineThread {
 public:
  static constexpr uint kStackSize = 256u << 20;

  using EngineFactory = std::function<std::unique_ptr<QJSEngine>()>;

  // Starts the thread and creates the engine there. Throws when the engine cannot be made.
  explicit ScriptEngineThread(EngineFactory create);
  ~ScriptEngineThread();  // destroys the engine on its thread and joins it
  ScriptEngineThread(const ScriptEngineThread&) = delete;
  ScriptEngineThread& operator=(const ScriptEngineThread&) = delete;

  // Owner thread: runs task on the engine thread and returns when it is done, rethrowing
  // its exception. While waiting, serves CallOwner requests and calls keepGoing every
  // pollInterval; when keepGoing returns false the engine is interrupted.
  void Run(const std::function<void(QJSEngine&)>& task, const std::function<bool()>& keepGoing,
           std::chrono::milliseconds pollInterval);

  // Any thread: makes the running script stop with an error as soon as it can.
  void Interrupt();

  // Engine thread, inside a task: runs fn on the owner thread and returns when it has,
  // rethrowing its exception.
  void CallOwner(const std::function<void()>& fn);

 private:
  void threadMain(const EngineFactory& create);

  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  bool quit_ = false;
  std::exception_ptr startError_;
  const std::function<void(QJSEngine&)>* task_ = nullptr;
  bool taskDone_ = false;
  std::exception_ptr taskError_;
  const std::function<void()>* ownerCall_ = nullptr;
  bool ownerCallDone_ = false;
  std::exception_ptr ownerCallError_;
  std::unique_ptr<QJSEngine> engine_;  // touched only on the engine thread (Interrupt aside)
  std::unique_ptr<QThread> thread_;
};

}  // namespace script
