#include "log/FFLogger.h"

#include <unistd.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include "core/MainThread.h"

namespace engine {
namespace {

constexpr const char* kOnlyOne = "Allow creating only one instance of TFFLogger.";

// Which logger is current, and the lines waiting for the main thread.
struct Registry {
  std::mutex mutex;
  TFFLogger* current = nullptr;
  std::unique_ptr<TFFLogger> automatic;
  std::set<const TFFLogger*> alive;
  std::function<void(int)> levelSetter;
  std::atomic<int> libraryLevel{32};
};

Registry& registry() {
  static Registry* r = new Registry;  // outlives every static logger user
  return *r;
}

// Library text assembly: pending text per thread, the last piece and its repeat count.
struct Assembly {
  std::mutex mutex;
  std::vector<std::pair<uint32_t, std::string>> pending;
  std::string lastPiece;
  int repeatCount = 0;
};

Assembly& assembly() {
  static Assembly* a = new Assembly;
  return *a;
}

// Lines handed to the main thread are queued in order and delivered there one by one, so a
// handler that logs again only queues its line behind the current one.
struct MainQueue {
  std::mutex mutex;
  std::deque<std::pair<const TFFLogger*, TLogInfo>> lines;
};

MainQueue& mainQueue() {
  static MainQueue* q = new MainQueue;
  return *q;
}

thread_local bool tlsDraining = false;

void drainOnMainThread() {
  if (tlsDraining) return;  // the outer loop delivers what a handler queued
  tlsDraining = true;
  for (;;) {
    std::pair<const TFFLogger*, TLogInfo> line;
    {
      std::lock_guard<std::mutex> lock(mainQueue().mutex);
      if (mainQueue().lines.empty()) break;
      line = std::move(mainQueue().lines.front());
      mainQueue().lines.pop_front();
    }
    TLogEvent handler;
    {
      std::lock_guard<std::mutex> lock(registry().mutex);
      if (registry().alive.count(line.first)) handler = line.first->OnLog;
    }
    if (handler) {
      try {
        handler(line.second.Sender, line.second.ThreadID, line.second.LogLevel, line.second.LogMsg);
      } catch (...) {
        // A failing handler must not take the next lines or the logging thread with it.
      }
    }
  }
  tlsDraining = false;
}

void applyLibraryLevel(int level) {
  std::function<void(int)> setter;
  {
    std::lock_guard<std::mutex> lock(registry().mutex);
    setter = registry().levelSetter;
  }
  if (!setter) return;
  setter(level);
  registry().libraryLevel.store(level);
}

}  // namespace

TFFLogger::TFFLogger() : TFFLogger(false) {}

TFFLogger::TFFLogger(bool automatic)
    : logLevel_(LibraryToLogLevel(registry().libraryLevel.load())) {
  std::unique_ptr<TFFLogger> replaced;
  {
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (registry().current && !registry().automatic && !automatic) throw std::logic_error(kOnlyOne);
    if (!automatic) {
      replaced = std::move(registry().automatic);
      registry().current = this;
    }
    registry().alive.insert(this);
  }
  // `replaced` is destroyed here, outside the lock its destructor takes.
}

TFFLogger::~TFFLogger() {
  std::lock_guard<std::mutex> lock(registry().mutex);
  registry().alive.erase(this);
  if (registry().current == this) registry().current = nullptr;
}

TFFLogger& DefaultLogger() {
  {
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (registry().current) return *registry().current;
  }
  std::unique_ptr<TFFLogger> made(new TFFLogger(true));
  std::lock_guard<std::mutex> lock(registry().mutex);
  if (!registry().current) {
    registry().current = made.get();
    registry().automatic = std::move(made);
    return *registry().current;
  }
  // Another thread made or installed one meanwhile; ours is dropped outside the lock.
  TFFLogger& winner = *registry().current;
  registry().alive.erase(made.get());
  registry().mutex.unlock();
  made.reset();
  registry().mutex.lock();
  return winner;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
  if (logLevel_.exchange(level) == level) return;
  applyLibraryLevel(LogLevelToLibrary(level));
}

void TFFLogger::SetLogLevelByName(const std::string& text) {
  SetLogLevel(LibraryToLogLevel(LibraryLevelFromName(text)));
}

void TFFLogger::FlushPending() {
  if (core::MainThread::IsMainThread()) drainOnMainThread();
}

uint32_t TFFLogger::CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

void TFFLogger::Log(const void* sender, TLogLevel level, const std::string& message) {
  const TLogLevel threshold = LogLevel();
  if (!(level <= threshold || (level == llVerbose && threshold != llQuiet))) return;
  Deliver(TLogInfo{sender, CurrentThreadId(), level, message}, true);
}

void TFFLogger::LogFmt(const void* sender, TLogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
  }
  va_end(args);
  Log(sender, level, text);
}

void TFFLogger::Deliver(const TLogInfo& info, bool wait) {
  if (!OnLog) return;
  if (!TriggerEventInMainThread()) {
    OnLog(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mainQueue().mutex);
    mainQueue().lines.emplace_back(this, info);
  }
  if (core::MainThread::IsMainThread()) {
    drainOnMainThread();
  } else if (wait) {
    // Waits until the main thread has delivered everything queued so far, this line too.
    core::MainThread::Call([] { drainOnMainThread(); });
  } else {
    core::MainThread::Post([] { drainOnMainThread(); });
  }
}

int CurrentLibraryLevel() { return registry().libraryLevel.load(); }

void SetLibraryLevelSetter(std::function<void(int)> setter) {
  {
    std::lock_guard<std::mutex> lock(registry().mutex);
    registry().levelSetter = std::move(setter);
  }
  applyLibraryLevel(LogLevelToLibrary(DefaultLogger().LogLevel()));
}

void LibraryFragment(int libraryLevel, const std::string& prefix, const std::string& text) {
  if (libraryLevel > CurrentLibraryLevel()) return;
  const uint32_t thread = TFFLogger::CurrentThreadId();
  std::vector<std::string> lines;
  {
    Assembly& a = assembly();
    std::lock_guard<std::mutex> lock(a.mutex);
    std::string* pendingText = nullptr;
    for (auto& entry : a.pending)
      if (entry.first == thread) pendingText = &entry.second;
    if (!pendingText) pendingText = &a.pending.emplace_back(thread, std::string()).second;
    const std::string piece = pendingText->empty() ? prefix + text : text;
    pendingText->append(piece);
    if (!piece.empty() && piece.back() == '\n' && piece == a.lastPiece) {
      ++a.repeatCount;
      pendingText->resize(pendingText->size() - piece.size());
      return;
    }
    if (a.repeatCount > 0) {
      lines.push_back("    Last message repeated " + std::to_string(a.repeatCount) + " times");
      a.repeatCount = 0;
    }
    a.lastPiece = piece;
    for (size_t feed; (feed = pendingText->find('\n')) != std::string::npos;) {
      lines.push_back(pendingText->substr(0, feed));
      pendingText->erase(0, feed + 1);
    }
    // A thread's entry goes once its text is complete; threads come and go.
    if (pendingText->empty()) {
      for (auto it = a.pending.begin(); it != a.pending.end(); ++it)
        if (it->first == thread) {
          a.pending.erase(it);
          break;
        }
    }
  }
  // Delivered outside the assembly lock, in order (see Deliver), so that the main thread
  // logging while a worker's line waits for it cannot wait for itself. A library thread
  // does not wait for the main thread: the library may run it for a call the main thread
  // is blocked in (frame-threaded decoding), and waiting there would never end.
  TFFLogger& logger = DefaultLogger();
  const TLogLevel level = LibraryToLogLevel(libraryLevel);
  for (const auto& line : lines) logger.Deliver(TLogInfo{&logger, thread, level, line}, false);
}

}  // namespace engine
