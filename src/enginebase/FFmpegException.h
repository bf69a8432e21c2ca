#pragma once
// The engine's error: raised inside the engine, turned into false / -1 with a message at
// the component boundary.

#include <stdexcept>
#include <string>

namespace engine {

class FFmpegException : public std::runtime_error {
 public:
  explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace engine
