#pragma once
// The error the application core raises for a file it cannot open or write and for a
// configuration value that is not what it must be. The texts are shown to the user as they
// stand, so they are built in one place.

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace app {

struct AppError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "Cannot open file "<path>". <reason>"
inline std::string FileOpenErrorText(const std::string& path, const std::string& reason) {
  return "Cannot open file \"" + path + "\". " + reason;
}

// The file-open error with the system's reason for the error number.
inline AppError FileOpenError(const std::string& path, int errorNumber) {
  return AppError(FileOpenErrorText(path, std::strerror(errorNumber)));
}

// "'<value>' is not a valid integer value"
inline std::string InvalidIntegerText(const std::string& value) {
  return "'" + value + "' is not a valid integer value";
}

// "Unable to write to <path>"
inline std::string WriteErrorText(const std::string& path) { return "Unable to write to " + path; }

}  // namespace app
