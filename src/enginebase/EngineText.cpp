#include "enginebase/EngineText.h"

#include <cstdio>

namespace engine {

std::string TimeToText(int64_t t) {
  if (t == kNoTimestamp) return "N/A";
  const int64_t seconds = t / 1000000;
  const long long hours = seconds / 60 / 60;
  const long long minutes = (seconds / 60) % 60;
  const long long secs = seconds % 60;
  const long long millis = (t % 1000000) * 1000 / 1000000;
  char text[64];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld.%.3lld", hours, minutes, secs, millis);
  return text;
}

std::string MediaTypeName(int type) {
  static const char* const kNames[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
  if (type >= 0 && type < 5) return kNames[type];
  return "Unknown";
}

std::string SplitFirst(std::string& source, const std::string& delimiter, bool remove) {
  const size_t at = delimiter.empty() ? std::string::npos : source.find(delimiter);
  if (at == std::string::npos) {
    std::string head = source;
    if (remove) source.clear();
    return head;
  }
  std::string head = source.substr(0, at);
  if (remove) source.erase(0, at + delimiter.size());
  return head;
}

}  // namespace engine
