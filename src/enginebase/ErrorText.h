#pragma once
// Library and system error codes as English texts for messages about a named file.

#include <string>

namespace engine {

// The text for one (negative) error code; "Error number %d occurred" for unknown codes.
std::string ErrorCodeText(int code);
// "<file name>: <text>", used wherever opening, reading or writing a named file fails.
std::string ErrorText(const std::string& fileName, int code);

}  // namespace engine
