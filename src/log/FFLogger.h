#pragma once
// The engine logger: the one collecting point for the engine's own messages and the codec
// library's messages. Library text arrives in printf fragments from any thread; the logger
// joins each thread's fragments into whole lines, folds a line repeated back to back into
// "Last message repeated N times", and raises OnLog once per line, on the main thread by
// default. Plain C++: the library side (the callback itself) lives in the engine base and
// feeds LibraryFragment.

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "log/LogLevel.h"

namespace engine {

// Sender, thread id (the kernel's id of the logging thread), level, one line of text.
using TLogEvent = std::function<void(const void* sender, uint32_t threadId, TLogLevel level,
                                     const std::string& message)>;

struct TLogInfo {
  const void* Sender = nullptr;
  uint32_t ThreadID = 0;
  TLogLevel LogLevel = llInfo;
  std::string LogMsg;
};

class TFFLogger {
 public:
  // A program-made logger replaces an automatically made one; a second program-made
  // logger throws std::logic_error("Allow creating only one instance of TFFLogger.").
  TFFLogger();
  ~TFFLogger();
  TFFLogger(const TFFLogger&) = delete;
  TFFLogger& operator=(const TFFLogger&) = delete;

  TLogLevel LogLevel() const { return logLevel_.load(); }
  // Also sets the library's own level once the library side is installed.
  void SetLogLevel(TLogLevel level);
  // A level name or a decimal library level; throws std::invalid_argument otherwise.
  void SetLogLevelByName(const std::string& text);

  bool TriggerEventInMainThread() const { return inMainThread_.load(); }
  void SetTriggerEventInMainThread(bool value) { inMainThread_.store(value); }

  // Set it before logging starts; lines are dropped while it is empty.
  TLogEvent OnLog;
  std::string About;

  // The engine's own messages: delivered when level <= LogLevel, and llVerbose whenever
  // LogLevel is not llQuiet.
  void Log(const void* sender, TLogLevel level, const std::string& message);
  void LogFmt(const void* sender, TLogLevel level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

  // Serves the main-thread queue now (main thread only): lines of library threads that did
  // not wait are delivered here or by the next line of the main thread.
  static void FlushPending();

  // The kernel's id of the calling thread, as carried by OnLog.
  static uint32_t CurrentThreadId();

 private:
  friend void LibraryFragment(int libraryLevel, const std::string& prefix, const std::string& text);
  explicit TFFLogger(bool automatic);
  friend TFFLogger& DefaultLogger();
  // wait: the calling thread waits until the main thread has run the handler.
  void Deliver(const TLogInfo& info, bool wait);

  std::atomic<TLogLevel> logLevel_;
  std::atomic<bool> inMainThread_{true};
};

// The current logger; makes one automatically when the program has none.
TFFLogger& DefaultLogger();

// One printf fragment of library text, already formatted, with its context prefix
// ("[name @ ADDRESS]"; empty without a context). Any thread.
void LibraryFragment(int libraryLevel, const std::string& prefix, const std::string& text);

// The level last given to the library (32, info, until the library side is installed).
int CurrentLibraryLevel();
// Installed by the library side: applies a level to the library. The logger's current
// level is applied at once.
void SetLibraryLevelSetter(std::function<void(int)> setter);

}  // namespace engine
