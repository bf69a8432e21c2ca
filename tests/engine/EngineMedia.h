#pragma once
// Small media files made with the ffmpeg program when a test first asks for them.

#include <string>

namespace enginemedia {

// "av.mp4" (320x240 25 fps video + 44.1 kHz stereo), "audio.mp3" (22.05 kHz mono),
// "video.mkv" (160x120 10 fps, no audio), "tone.wav", "two.ts" (program 1, video + audio),
// "raw.s16le" (8 kHz mono raw samples), "subs.mkv" (video + a subtitle stream),
// "vfr.mp4" (frames 25 per second for 1 s, then slower: the average is not the base rate).
std::string Media(const std::string& name);
std::string Folder();

}  // namespace enginemedia
