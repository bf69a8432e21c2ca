#include "log/LogLevel.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace engine {

int LogLevelToLibrary(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }

TLogLevel LibraryToLogLevel(int libraryLevel) {
  const int ordinal = std::clamp(libraryLevel / 8 + 1, 0, 7);
  return static_cast<TLogLevel>(ordinal);
}

int LibraryLevelFromName(const std::string& text) {
  static const struct {
    const char* name;
    int level;
  } kNames[] = {{"quiet", -8},   {"panic", 0}, {"fatal", 8},    {"error", 16},
                {"warning", 24}, {"info", 32}, {"verbose", 40}, {"debug", 48}};
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& n : kNames)
    if (lower == n.name) return n.level;
  // Only a whole decimal number counts: "12abc" or "" are not levels.
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX ||
      std::isspace(static_cast<unsigned char>(text[0])))
    throw std::invalid_argument("'" + text + "' is not a valid integer value");
  return static_cast<int>(value);
}

}  // namespace engine
