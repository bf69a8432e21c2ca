#pragma once
// Which files the program takes as audio or video, by their extension. Plain C++.

#include <array>
#include <string>
#include <string_view>

namespace app {

// The extensions (with their dot, lower case) of the files the program accepts as media.
extern const std::array<std::string_view, 41> kMediaExtensions;

// True when the extension, with its dot, is a media extension; letter case is ignored.
bool IsMediaExtension(const std::string& extension);

}  // namespace app
