#pragma once
// Collects the engine log lines of one test: the program-made logger replaces the automatic
// one for as long as the capture lives, and delivers lines on the logging thread directly.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/FFLogger.h"

class LogCapture {
 public:
  LogCapture() {
    logger_.SetTriggerEventInMainThread(false);
    logger_.SetLogLevel(engine::llDebug);
    logger_.OnLog = [this](const void*, uint32_t, engine::TLogLevel level,
                           const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(level, text);
    };
  }
  std::vector<std::pair<engine::TLogLevel, std::string>> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  // The lines of one level that contain the given text.
  std::vector<std::string> Matching(engine::TLogLevel level, const std::string& part) {
    std::vector<std::string> found;
    for (const auto& [lineLevel, text] : Lines())
      if (lineLevel == level && text.find(part) != std::string::npos) found.push_back(text);
    return found;
  }

 private:
  engine::TFFLogger logger_;
  std::mutex mutex_;
  std::vector<std::pair<engine::TLogLevel, std::string>> lines_;
};
