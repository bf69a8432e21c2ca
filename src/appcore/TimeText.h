#pragma once
// Hour-minute-second texts of durations. Plain C++.

#include <cstdint>
#include <string>

namespace app {

// "HH:MM:SS.mmm" of a count of microseconds; the hours are not bounded.
std::string FormatMicroseconds(int64_t microseconds);
// "HH:MM:SS" of a count of seconds.
std::string FormatSeconds(int64_t seconds);

}  // namespace app
