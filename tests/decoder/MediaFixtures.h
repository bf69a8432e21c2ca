#pragma once
// Media made with the ffmpeg program at test time, once per test run, and what the ffprobe
// program says about it.

#include <map>
#include <string>

namespace fixtures {

// The path of a named fixture (made on first use): "av.mp4", "audio.mp3", "video.mkv",
// "raw.h264", "multiaudio.mkv", "meta.mp3", "still.png", "odd.mkv".
std::string Media(const std::string& name);
// The fixture folder.
std::string Folder();
// Runs a shell command; true when it exits with 0.
bool Run(const std::string& command);
// ffprobe's flat output as key -> value ("format.duration" -> "2.000000"), quotes removed.
std::map<std::string, std::string> Probe(const std::string& path, const std::string& entries);

}  // namespace fixtures
