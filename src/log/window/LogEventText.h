#pragma once
// The text of one engine log event as the log window shows it.

#include <cstdint>
#include <string>

namespace logwindow {

// "#" + thread id (unsigned decimal) + "." + level ordinal + ": " + message, for example
// "#1234.3: could not open codec". The level is written as given, so a value outside the
// known range 0..7 still shows what the sender passed.
std::string LogEventText(uint64_t threadId, int level, const std::string& message);

}  // namespace logwindow
