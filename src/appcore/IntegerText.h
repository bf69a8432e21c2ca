#pragma once
// Reading integers from configuration text. Plain C++.

#include <optional>
#include <string_view>

namespace app {

// A decimal integer with an optional sign that fits in 32 bits; nothing else (no blanks,
// no trailing characters, no hexadecimal).
std::optional<int> ParseDecimalInteger(std::string_view text);

// What the settings file accepts: a decimal integer as above, or "0x"/"0X" followed by up
// to eight hexadecimal digits. Hexadecimal values wrap to 32 bits ("0xFFFFFFFF" is -1), as
// the profile functions of the old platform did.
std::optional<int> ParseSettingsInteger(std::string_view text);

}  // namespace app
