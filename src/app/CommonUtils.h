#pragma once
// Path, file-name, time and layout helpers shared by the windows. Plain C++; texts are
// UTF-8 and paths use "/".

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// A rectangle in window coordinates; right and bottom are exclusive edges.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const Rect&) const = default;
};

// Places cell `index` of a grid that fills a container row by row. The right and bottom
// edges include the gaps, as the callers expect.
Rect GridCellRect(int containerWidth, int topMargin, int leftMargin, int index, int cellWidth,
                  int cellHeight, int verticalGap, int horizontalGap);

// The text with "/" appended unless it already ends with "/"; an empty text gives "/".
std::string WithTrailingSeparator(const std::string& path);

// The extensions (with their dot, lower case) of the files the program accepts as media.
extern const std::array<std::string_view, 41> kMediaExtensions;

// True when the extension, with its dot, is a media extension; letter case is ignored.
bool IsMediaExtension(const std::string& extension);

// "HH:MM:SS.mmm" of a count of microseconds; the hours are not bounded.
std::string FormatMicroseconds(int64_t microseconds);
// "HH:MM:SS" of a count of seconds.
std::string FormatSeconds(int64_t seconds);

// The characters a file name may not hold: \ / : * ? " < > |
extern const std::string_view kForbiddenFileNameChars;

// False for an empty name or one holding a forbidden character.
bool IsValidFileName(const std::string& name);
// The name with every forbidden character replaced by "_"; a valid name is returned as is.
std::string SanitizeFileName(const std::string& name);

// The extension of the file-name part: from its last dot on, or empty without a dot.
std::string ExtractExtension(const std::string& path);
// The path without the extension of its file-name part.
std::string StripExtension(const std::string& path);

// A name for a new file in `folder`: `name` itself when nothing of that name is there,
// else the first free of "base(1).ext", "base(2).ext", ... The counter stops at 32768,
// whose name is returned without being tested.
std::string UniqueFileName(const std::string& name, const std::string& folder);

}  // namespace app
