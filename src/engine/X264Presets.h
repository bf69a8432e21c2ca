#pragma once
// The built-in encoder presets: the x264 presets, written in the option vocabulary of the
// old libraries (the vocabulary stored settings and preset files use), one key=value line
// each. The option translation turns them into today's x264 options when they are set.

#include <span>
#include <string_view>

namespace engine {

struct TBuiltInPreset {
  std::string_view Name;
  std::string_view Text;  // lines separated by LF
};

std::span<const TBuiltInPreset> BuiltInPresets();

// The preset of that name, ignoring letter case; nullptr when there is none.
const TBuiltInPreset* FindBuiltInPreset(std::string_view name);

}  // namespace engine
