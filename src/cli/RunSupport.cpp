#include "cli/RunSupport.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <mutex>

#include "log/FFLogger.h"

namespace cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;
std::atomic<bool>* volatile stopTarget = nullptr;
struct sigaction previousInt {}, previousTerm{};

extern "C" void onStopSignal(int) {
  interrupted = 1;
  if (std::atomic<bool>* target = stopTarget) target->store(true);
}

}  // namespace

StopSignals::StopSignals(std::atomic<bool>* stopFlag) {
  static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal");
  interrupted = 0;
  stopTarget = stopFlag;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  stopTarget = nullptr;
}

bool StopSignals::Interrupted() { return interrupted != 0; }

void LogEngineToStandardError(int level) {
  engine::TFFLogger& logger = engine::DefaultLogger();
  logger.SetLogLevel(static_cast<engine::TLogLevel>(level));
  // Lines are written by the thread that logs them: no thread waits for the main thread,
  // which may itself be busy converting.
  logger.SetTriggerEventInMainThread(false);
  logger.OnLog = [](const void*, uint32_t, engine::TLogLevel lineLevel, const std::string& text) {
    // Verbose lines arrive whatever the level; show them only when they were asked for.
    if (lineLevel > engine::DefaultLogger().LogLevel()) return;
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::cerr << text << (text.empty() || text.back() != '\n' ? "\n" : "") << std::flush;
  };
}

std::string ClockText(int64_t microseconds) {
  if (microseconds < 0) return "--:--:--";
  // Rounded to the nearest second without adding to a value that may be the largest.
  const int64_t seconds = microseconds / 1000000 + (microseconds % 1000000 >= 500000 ? 1 : 0);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

int64_t TimeLeftUs(int64_t elapsedUs, int64_t doneUs, int64_t totalUs) {
  if (elapsedUs <= 0 || doneUs <= 0 || totalUs <= 0) return -1;
  if (doneUs >= totalUs) return 0;
  const double left = static_cast<double>(elapsedUs) * static_cast<double>(totalUs - doneUs) /
                      static_cast<double>(doneUs);
  // A double past the largest 64-bit value has no integer: the most that can be shown.
  if (!(left < 9.2e18)) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(left);
}

bool ProgressOnTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace cli
