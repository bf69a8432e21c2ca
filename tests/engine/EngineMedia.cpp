#include "EngineMedia.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace enginemedia {
namespace {

const std::map<std::string, std::string>& Recipes() {
  static const std::map<std::string, std::string> recipes = {
      {"av.mp4",
       "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i "
       "sine=frequency=440:sample_rate=44100:duration=3 -ac 2 -c:v mpeg4 -g 12 -c:a aac -shortest "
       "-f mp4"},
      {"audio.mp3",
       "-f lavfi -i sine=frequency=300:sample_rate=22050:duration=2 -ac 1 -c:a libmp3lame -f mp3"},
      {"video.mkv", "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v mpeg4 -f matroska"},
      {"tone.wav", "-f lavfi -i sine=frequency=500:sample_rate=16000:duration=1 -f wav"},
      {"two.ts",
       "-f lavfi -i testsrc=size=128x96:rate=25:duration=2 -f lavfi -i "
       "sine=sample_rate=48000:duration=2 -c:v mpeg2video -c:a mp2 -f mpegts"},
      {"vfr.mp4",
       "-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -vf "
       "\"setpts='if(lt(N,25),N,25+(N-25)*3)/25/TB'\" -fps_mode passthrough -c:v mpeg4 "
       "-f mp4"},
      {"raw.s16le", "-f lavfi -i sine=frequency=200:sample_rate=8000:duration=1 -f s16le"},
      {"subs.mkv",
       "-f lavfi -i testsrc=size=96x64:rate=10:duration=2 -i \"SUBS\" -map 0 -map 1 -c:v mpeg4 "
       "-c:s ass -f matroska"},
  };
  return recipes;
}

}  // namespace

std::string Folder() {
  const char* tmp = std::getenv("WIZCONV_TEST_TMP");
  std::filesystem::path folder =
      std::filesystem::path(tmp ? tmp : std::filesystem::temp_directory_path().string()) /
      "engine-media";
  std::filesystem::create_directories(folder);
  return folder.string();
}

std::string Media(const std::string& name) {
  const std::string path = Folder() + "/" + name;
  if (std::filesystem::exists(path)) return path;
  auto recipe = Recipes().find(name);
  if (recipe == Recipes().end()) throw std::invalid_argument("no media " + name);
  std::string arguments = recipe->second;
  if (name == "subs.mkv") {
    const std::string subtitles = Folder() + "/subs.srt";
    std::ofstream(subtitles) << "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n";
    arguments.replace(arguments.find("SUBS"), 4, subtitles);
  }
  // Made under a temporary name so that an interrupted run leaves no half file.
  const std::string partial = path + ".part" + std::to_string(getpid());
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y " + arguments + " \"" + partial + "\"";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
  std::filesystem::rename(partial, path);
  return path;
}

}  // namespace enginemedia
