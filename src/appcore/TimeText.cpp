#include "appcore/TimeText.h"

#include <cinttypes>
#include <cstdio>

namespace app {

std::string FormatMicroseconds(int64_t microseconds) {
  const int64_t totalSeconds = microseconds / 1000000;
  const int64_t hours = totalSeconds / 60 / 60;
  const int64_t minutes = totalSeconds / 60 % 60;
  const int64_t seconds = totalSeconds % 60;
  // Widened before multiplying: the remainder times 1000 fits easily in 64 bits.
  const int64_t milliseconds = (microseconds % 1000000) * 1000 / 1000000;
  char text[96];
  std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, hours,
                minutes, seconds, milliseconds);
  return text;
}

std::string FormatSeconds(int64_t seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64, seconds / 3600,
                seconds % 3600 / 60, seconds % 60);
  return text;
}

}  // namespace app
