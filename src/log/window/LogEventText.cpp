#include "log/window/LogEventText.h"

namespace logwindow {

std::string LogEventText(uint64_t threadId, int level, const std::string& message) {
  std::string text = "#";
  text += std::to_string(threadId);
  text += '.';
  text += std::to_string(level);
  text += ": ";
  text += message;
  return text;
}

}  // namespace logwindow
