#include "MediaFiles.h"

#include <unistd.h>

#include <filesystem>
#include <map>
#include <stdexcept>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

fs::path Folder() {
  const char* tmp = std::getenv("WIZCONV_TEST_TMP");
  fs::path folder = fs::path(tmp && *tmp ? tmp : WIZCONV_DEFAULT_TEST_TMP) / "media";
  fs::create_directories(folder);
  return folder;
}

using Args = std::vector<std::string>;

Args RedThenBlue(int width, int height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  return {"-f", "lavfi", "-i",
          "color=c=red:s=" + size + ":r=10:d=1[a];color=c=blue:s=" + size +
              ":r=10:d=1[b];[a][b]concat=n=2:v=1:a=0[out0]",
          "-c:v", "libx264", "-preset", "ultrafast", "-g", "5", "-pix_fmt", "yuv420p"};
}

}  // namespace

std::string MediaFile(const std::string& name, const std::vector<std::string>& arguments) {
  const fs::path path = Folder() / name;
  if (fs::exists(path)) return path.string();
  const fs::path partial = Folder() / ("partial-" + std::to_string(getpid()) + "-" + name);
  std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(partial.string());
  const ProcessResult result = RunProcess(argv);
  if (result.exitCode != 0) throw std::runtime_error("ffmpeg could not make " + name + ": " + result.err);
  fs::rename(partial, path);
  return path.string();
}

std::string Media(const std::string& name) {
  static const std::map<std::string, Args> recipes = [] {
    std::map<std::string, Args> r;
    r["av.mp4"] = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=2", "-f", "lavfi",
                   "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-ac", "2", "-c:v",
                   "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                   "-shortest"};
    r["audio.mp3"] = {"-f", "lavfi", "-i", "sine=frequency=300:sample_rate=22050:duration=1",
                      "-ac", "1", "-c:a", "libmp3lame", "-b:a", "32k"};
    r["video.mkv"] = {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=1", "-c:v",
                      "mpeg4"};
    r["redblue.mp4"] = RedThenBlue(160, 120);
    r["redblue.h264"] = RedThenBlue(160, 120);
    r["redblue.h264"].insert(r["redblue.h264"].end(), {"-f", "h264"});
    r["wide.mp4"] = {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=10:duration=1", "-c:v",
                     "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"};
    return r;
  }();
  auto it = recipes.find(name);
  if (it == recipes.end()) throw std::invalid_argument("no media recipe " + name);
  return MediaFile(name, it->second);
}

}  // namespace testsupport
