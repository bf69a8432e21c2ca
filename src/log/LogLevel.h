#pragma once
// The engine's log levels and their mapping onto the codec library's numeric levels.

#include <string>

namespace engine {

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// llQuiet -8, llPanic 0, ... llDebug 48: eight library steps per level.
int LogLevelToLibrary(TLogLevel level);
// Truncating division by 8 plus one, clamped: -7..7 is llPanic, 48 and above llDebug.
TLogLevel LibraryToLogLevel(int libraryLevel);
// "quiet".."debug" in any letter case, else a decimal number; anything else throws
// std::invalid_argument naming the text.
int LibraryLevelFromName(const std::string& text);

}  // namespace engine
