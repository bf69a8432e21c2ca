#include "appcore/FileNames.h"

#include <filesystem>
#include <system_error>

namespace app {

std::string WithTrailingSeparator(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + "/";
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
