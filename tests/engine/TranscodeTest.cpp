// Whole runs of the transcode core on media made by the ffmpeg program, each output read
// back by ffprobe: containers and codecs, timing, stream copy, joining, limits, stopping
// and broken input.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include "EngineMedia.h"
#include "LogCapture.h"
#include "OutputProbe.h"
#include "TestSupport.h"
#include "engine/CustomFFmpeg.h"
#include "engine/base/FFmpegException.h"

using engine::TCustomFFmpeg;
using enginemedia::Media;
using testsupport::TempDir;

namespace {

struct Option {
  std::string name, value;
};

// Opens the inputs, applies the options, opens the output (joined when asked) and runs
// the conversion on this thread.
void Convert(TCustomFFmpeg& job, const std::vector<std::string>& inputs, const std::string& output,
             const std::vector<Option>& options = {}, bool join = false) {
  for (const auto& input : inputs) job.OpenInputFile(input);
  for (const auto& option : options) job.SetOption(option.name, option.value);
  ASSERT_GT(job.OpenOutput(output, join), 0) << job.LastError;
  job.JoinSetup();
  job.Transcode();
}

struct ContainerCase {
  const char* file;
  const char* videoCodec;  // "" for an audio container
  const char* audioCodec;
  const char* size;
  const char* rate;
  int sampleRate;
  int channels;
  const char* probedVideo;  // what ffprobe names the codecs
  const char* probedAudio;
};

// Every container the catalogue offers, with the codecs its presets use.
const ContainerCase kContainers[] = {
    {"out.avi", "mpeg4", "libmp3lame", "320x240", "25", 44100, 2, "mpeg4", "mp3"},
    {"out.mp4", "libx264", "aac", "320x240", "25", 44100, 2, "h264", "aac"},
    {"out.flv", "flv", "libmp3lame", "320x240", "25", 44100, 2, "flv1", "mp3"},
    {"out.swf", "flv", "libmp3lame", "320x240", "25", 22050, 1, "flv1", "mp3"},
    {"out.mpg", "mpeg2video", "mp2", "352x288", "25", 44100, 2, "mpeg2video", "mp2"},
    {"out.rm", "rv10", "ac3", "320x240", "25", 44100, 2, "rv10", "ac3"},
    {"out.wmv", "wmv2", "wmav2", "320x240", "25", 44100, 2, "wmv2", "wmav2"},
    {"out.mov", "mpeg4", "aac", "320x240", "25", 44100, 2, "mpeg4", "aac"},
    {"out.3gp", "h263", "", "176x144", "15", 8000, 1, "h263", "aac"},  // AMR is not installed
    {"out.ogg", "libtheora", "libvorbis", "320x240", "25", 44100, 2, "theora", "vorbis"},
    {"out.psp", "libx264", "aac", "320x240", "30000/1001", 48000, 2, "h264", "aac"},
    {"out.wav", "", "pcm_s16le", "", "", 44100, 2, "", "pcm_s16le"},
    // MP3 keeps the encoder's delay and last-frame padding (as the ffmpeg program's own
    // output does): up to 60 ms more.
    {"out.mp3", "", "libmp3lame", "", "", 44100, 2, "", "mp3"},
    {"out.wma", "", "wmav2", "", "", 44100, 2, "", "wmav2"},
    {"out.aac", "", "aac", "", "", 44100, 2, "", "aac"},
    {"out.m4a", "", "aac", "", "", 44100, 2, "", "aac"},
    {"out.flac", "", "flac", "", "", 44100, 2, "", "flac"},
    {"out.mp2", "", "mp2", "", "", 44100, 2, "", "mp2"},
};

TEST(Transcode, EveryCatalogueContainerGetsTheAskedCodecsSizeRateAndLength) {
  TempDir dir;
  for (const auto& c : kContainers) {
    SCOPED_TRACE(c.file);
    const std::string out = dir.str() + "/" + c.file;
    TCustomFFmpeg job;
    std::vector<Option> options;
    if (*c.videoCodec)
      options.push_back({"vcodec", c.videoCodec});
    else
      options.push_back({"vn", ""});
    if (*c.audioCodec) options.push_back({"acodec", c.audioCodec});
    if (*c.size) options.push_back({"s", c.size});
    if (*c.rate) options.push_back({"r", c.rate});
    options.push_back({"ar", std::to_string(c.sampleRate)});
    options.push_back({"ac", std::to_string(c.channels)});
    if (std::string(c.videoCodec) == "wmv2" || std::string(c.videoCodec) == "rv10")
      options.push_back({"b", "400000"});
    Convert(job, {Media("av.mp4")}, out, options);
    EXPECT_TRUE(job.Finished);
    const auto probe = outputprobe::Read(out);
    ASSERT_TRUE(probe.ok) << probe.error;
    const auto* video = probe.First("video");
    const auto* audio = probe.First("audio");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->Get("codec_name"), c.probedAudio);
    EXPECT_EQ(audio->Number("sample_rate"), c.sampleRate);
    EXPECT_EQ(audio->Number("channels"), c.channels);
    if (*c.videoCodec) {
      ASSERT_TRUE(video);
      EXPECT_EQ(video->Get("codec_name"), c.probedVideo);
      EXPECT_EQ(video->Get("width") + "x" + video->Get("height"), c.size);
      const double rate = outputprobe::Stream{{{"r", c.rate}}}.Number("r");
      EXPECT_NEAR(video->Number("r_frame_rate"), rate, 0.01);
      // The video lasts as long as the input's, within one frame.
      const double frames = static_cast<double>(outputprobe::Packets(out, "v").size());
      EXPECT_NEAR(frames / rate, 3.0, 1.0 / rate + 1e-6);
      if (!std::isnan(probe.duration)) EXPECT_NEAR(probe.duration, 3.0, 0.1);
    } else {
      EXPECT_FALSE(video);
      const bool mp3 = std::string(c.probedAudio) == "mp3";
      EXPECT_NEAR(probe.duration, 3.0, mp3 ? 0.06 : 0.05);
    }
    EXPECT_EQ(outputprobe::DecodeErrors(out), "");
  }
}

}  // namespace
