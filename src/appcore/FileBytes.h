#pragma once
// Whole-file reading and crash-safe replacing of small configuration files. Plain C++.

#include <string>

namespace app {

// The file's bytes. Throws AppError with the file-open text and the system's reason when
// the file cannot be opened or read (missing, a folder, no permission).
std::string ReadFileBytes(const std::string& path);

// Writes the bytes to a new file in the same folder, flushes it to the disk and renames it
// over `path`, so that a crash or a full disk never leaves a truncated file behind: either
// the old content or the new one survives. A link at `path` is followed, so the file it
// points to is replaced. An existing file keeps its permission bits. Throws AppError
// "Unable to write to <path>" when any step fails; the old file is then untouched.
void WriteFileReplacing(const std::string& path, const std::string& bytes);

}  // namespace app
