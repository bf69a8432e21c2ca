#pragma once
// Small text helpers of the engine: timestamps, media type names, option splitting.

#include <cstdint>
#include <string>

namespace engine {

// The library's "no value" timestamp: the smallest 64-bit value.
constexpr int64_t kNoTimestamp = INT64_MIN;

// "HH:MM:SS.mmm" for microseconds (hours not wrapped at 24), "N/A" for kNoTimestamp.
std::string TimeToText(int64_t microseconds);
// 0 "Video", 1 "Audio", 2 "Data", 3 "Subtitle", 4 "Attachment", else "Unknown".
std::string MediaTypeName(int type);
// The text before the first delimiter (the whole text without one). With remove set, the
// source keeps only what follows the delimiter (nothing when there was none).
std::string SplitFirst(std::string& source, const std::string& delimiter, bool remove);

}  // namespace engine
