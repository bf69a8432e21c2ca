#include "MediaFixtures.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace fixtures {
namespace {

const std::map<std::string, std::string>& recipes() {
  static const std::map<std::string, std::string> r = {
      {"av.mp4",
       "-f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
       "sine=frequency=440:sample_rate=44100:duration=4 -ac 2 -c:v libx264 -preset ultrafast "
       "-g 12 -bf 2 -pix_fmt yuv420p -c:a aac -shortest"},
      {"audio.mp3",
       "-f lavfi -i sine=frequency=300:sample_rate=22050:duration=2 -ac 1 -c:a libmp3lame"},
      {"video.mkv", "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v mpeg4"},
      {"raw.h264",
       "-f lavfi -i testsrc=size=176x144:rate=25:duration=2 -c:v libx264 -preset ultrafast "
       "-bf 2 -g 10 -pix_fmt yuv420p -f h264"},
      {"multiaudio.mkv",
       "-f lavfi -i testsrc=size=128x96:rate=10:duration=2 -f lavfi -i "
       "sine=frequency=200:sample_rate=48000:duration=2 -f lavfi -i "
       "sine=frequency=500:sample_rate=16000:duration=2 -map 0 -map 1 -map 2 -c:v mpeg4 "
       "-c:a:0 ac3 -ac:a:0 2 -c:a:1 libvorbis -ac:a:1 1 -metadata:s:a:1 language=ger"},
      {"meta.mp3",
       "-f lavfi -i sine=frequency=600:sample_rate=44100:duration=1 -c:a libmp3lame "
       "-metadata title=\"Quote \\\"and\\\" 中文\" -metadata artist=Someone "
       "-metadata album=Album -metadata genre=Rock -metadata comment=Note "
       "-metadata date=2011 -metadata track=3/12 -metadata copyright=Owner"},
      {"still.png", "-f lavfi -i testsrc=size=64x48:rate=1 -frames:v 1"},
      {"odd.mkv", "-f lavfi -i testsrc=size=161x121:rate=10:duration=1 -c:v ffv1"},
  };
  return r;
}

}  // namespace

std::string Folder() {
  const char* tmp = std::getenv("WIZCONV_TEST_TMP");
  std::filesystem::path folder =
      std::filesystem::path(tmp ? tmp : std::filesystem::temp_directory_path().string()) /
      "decoder-fixtures";
  std::filesystem::create_directories(folder);
  return folder.string();
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Media(const std::string& name) {
  const std::string path = Folder() + "/" + name;
  if (std::filesystem::exists(path)) return path;
  auto it = recipes().find(name);
  if (it == recipes().end()) throw std::invalid_argument("no fixture " + name);
  // Made under a temporary name so that an interrupted run leaves no half file.
  // Test processes may run at once: each makes its own and the last rename wins.
  const std::string partial = Folder() + "/partial-" + std::to_string(getpid()) + "-" + name;
  if (!Run("ffmpeg -nostdin -v error -y " + it->second + " '" + partial + "'"))
    throw std::runtime_error("ffmpeg could not make " + name);
  std::filesystem::rename(partial, path);
  return path;
}

std::map<std::string, std::string> Probe(const std::string& path, const std::string& entries) {
  const std::string command =
      "ffprobe -v error -show_entries " + entries + " -of flat '" + path + "'";
  std::map<std::string, std::string> result;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return result;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t eq = text.find('=');
    if (eq == std::string::npos) continue;
    std::string value = text.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    result[text.substr(0, eq)] = value;
  }
  return result;
}

}  // namespace fixtures
