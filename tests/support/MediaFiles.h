#pragma once
// Media files made by the ffmpeg program when a test first asks for them, kept for the rest
// of the test run in one folder under the build's test-tmp folder.

#include <string>
#include <vector>

namespace testsupport {

// The path of the file `name` made by "ffmpeg -nostdin -v error -y ARGUMENTS... PATH".
// Made under a temporary name and renamed, so that test programs running at once never see
// half a file. Throws std::runtime_error when ffmpeg fails.
std::string MediaFile(const std::string& name, const std::vector<std::string>& arguments);

// A few seconds of picture and sound: "av.mp4" (160x120 10 fps H.264 + AAC, 2 s),
// "audio.mp3" (1 s mono), "video.mkv" (MPEG-4 picture only, no bit rate in the file, 1 s),
// "redblue.mp4" (1 s red then 1 s blue), "redblue.h264" (the same as a raw stream, which
// tells no duration), "wide.mp4" (640x360).
std::string Media(const std::string& name);

}  // namespace testsupport
