#include "app/CommonUtils.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace app {

Rect GridCellRect(int containerWidth, int topMargin, int leftMargin, int index, int cellWidth,
                  int cellHeight, int verticalGap, int horizontalGap) {
  const int columns =
      std::max(1, cellWidth > 0 ? (containerWidth - leftMargin - horizontalGap) / cellWidth : 1);
  const int column = index % columns;
  const int row = index / columns;
  Rect r;
  r.left = leftMargin + column * (cellWidth + horizontalGap);
  r.top = topMargin + row * (cellHeight + verticalGap);
  r.right = r.left + cellWidth + horizontalGap;
  r.bottom = r.top + cellHeight + verticalGap;
  return r;
}

std::string WithTrailingSeparator(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + "/";
}

const std::array<std::string_view, 41> kMediaExtensions = {
    ".mp3", ".aac", ".wav",  ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2", ".mpa",
    ".mpc", ".ape", ".ofr",  ".ogg", ".ra",  ".wv",   ".tta", ".ac3", ".dts", ".avi", ".avm",
    ".asf", ".wmv", ".avs",  ".flv", ".mkv", ".mov",  ".3gp", ".mp4", ".mpg", ".dat", ".ogm",
    ".vob", ".rm",  ".rmvb", ".ts",  ".tp",  ".ifo",  ".nsv", ".swf"};

bool IsMediaExtension(const std::string& extension) {
  std::string lower = extension;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), lower) !=
         kMediaExtensions.end();
}

std::string FormatMicroseconds(int64_t microseconds) {
  const int64_t totalSeconds = microseconds / 1000000;
  const int64_t hours = totalSeconds / 60 / 60;
  const int64_t minutes = totalSeconds / 60 % 60;
  const int64_t seconds = totalSeconds % 60;
  // Widened before multiplying: the remainder times 1000 fits easily in 64 bits.
  const int64_t milliseconds = (microseconds % 1000000) * 1000 / 1000000;
  char text[96];
  std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, hours,
                minutes, seconds, milliseconds);
  return text;
}

std::string FormatSeconds(int64_t seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64, seconds / 3600,
                seconds % 3600 / 60, seconds % 60);
  return text;
}

const std::string_view kForbiddenFileNameChars = "\\/:*?\"<>|";

bool IsValidFileName(const std::string& name) {
  return !name.empty() && name.find_first_of(kForbiddenFileNameChars) == std::string::npos;
}

std::string SanitizeFileName(const std::string& name) {
  if (IsValidFileName(name)) return name;
  std::string result = name;
  for (char& c : result) {
    if (kForbiddenFileNameChars.find(c) != std::string_view::npos) c = '_';
  }
  return result;
}

namespace {
// Index of the extension's dot, or npos when the file-name part has no dot.
size_t extensionDot(const std::string& path) {
  const size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return std::string::npos;
  return dot;
}
}  // namespace

std::string ExtractExtension(const std::string& path) {
  const size_t dot = extensionDot(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string StripExtension(const std::string& path) {
  const size_t dot = extensionDot(path);
  return dot == std::string::npos ? path : path.substr(0, dot);
}

namespace {
// Any entry counts as taken, a folder or a dangling link too: a new file of that name
// could not be written there without harm.
bool nameTaken(const std::string& folder, const std::string& name) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(folder + name, ec);
  return std::filesystem::exists(status);
}
}  // namespace

std::string UniqueFileName(const std::string& name, const std::string& folder) {
  constexpr int kLastCounter = 32768;
  const std::string dir = WithTrailingSeparator(folder);
  if (!nameTaken(dir, name)) return name;
  const std::string base = StripExtension(name);
  const std::string extension = ExtractExtension(name);
  std::string candidate;
  for (int n = 1;; ++n) {
    candidate = base + "(" + std::to_string(n) + ")" + extension;
    if (n >= kLastCounter || !nameTaken(dir, candidate)) break;
  }
  return candidate;
}

}  // namespace app
