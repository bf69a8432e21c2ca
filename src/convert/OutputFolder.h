#pragma once
// The output folder that step 2 names, made ready before a run starts.

#include <string>

namespace convert {

// True when `folder` is a folder a file can be written into, after making every missing
// level of it. False for an empty text, a path that is (or runs through) a file, a folder
// that cannot be made, and a folder without write access.
bool PrepareOutputFolder(const std::string& folder);

}  // namespace convert
