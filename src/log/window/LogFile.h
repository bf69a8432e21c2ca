#pragma once
// Saving the log's text to a file.

#include <string>
#include <vector>

namespace logwindow {

// Writes the lines to `path` as UTF-8, each ended by CR LF (no lines: an empty file).
// The file is replaced only once everything has been written, so a failed save leaves an
// existing file as it was. Returns an empty text on success, else why the write failed.
std::string WriteLogFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace logwindow
