#pragma once
// What the converting subcommands (transcode, convert) share: Ctrl+C and SIGTERM turned
// into a polite stop, engine log lines on standard error, and the progress line texts.

#include <atomic>
#include <cstdint>
#include <string>

namespace cli {

// Installs handlers for SIGINT and SIGTERM for the object's lifetime (the previous ones
// come back afterwards). A signal sets Interrupted() and, when one was given, stores true
// in *stopFlag (an atomic store, safe inside a signal handler).
class StopSignals {
 public:
  explicit StopSignals(std::atomic<bool>* stopFlag = nullptr);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  static bool Interrupted();
};

// The exit code of a run ended by Ctrl+C or SIGTERM.
constexpr int kInterruptedExit = 130;

// Sends the engine's log lines of `level` and more urgent ones to standard error, from
// whatever thread logs them. The levels are the engine's (llWarning by default).
void LogEngineToStandardError(int level);

// "00:01:05" of a count of microseconds; "--:--:--" for a negative one.
std::string ClockText(int64_t microseconds);

// The time a run still needs: what was done took `elapsedUs` for `doneUs` of `totalUs`
// media time. -1 when it cannot be told yet.
int64_t TimeLeftUs(int64_t elapsedUs, int64_t doneUs, int64_t totalUs);

// Standard error is a terminal: progress lines overwrite each other there, elsewhere each
// report is a line of its own.
bool ProgressOnTerminal();

}  // namespace cli
