#include <gtest/gtest.h>

#include <string>

#include "LogCapture.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"

extern "C" {
#include <libavutil/opt.h>
}

using engine::TCustomFFmpeg;

namespace {

int64_t Option(void* object, const char* name) {
  int64_t value = -12345;
  av_opt_get_int(object, name, 0, &value);
  return value;
}

bool Recorded(const TCustomFFmpeg& job, const std::string& name) {
  for (const auto& option : job.RecordedOptions())
    if (option.Name == name) return true;
  return false;
}

}  // namespace

TEST(Targets, EachTargetAndNorm) {
  struct Case {
    std::string target, format, video, audio;
    int width, height, rateNum, rateDen, gop, sampleRate;
    double aspect;
  };
  const std::vector<Case> cases = {
      {"pal-dvd", "dvd", "mpeg2video", "ac3", 720, 576, 25, 1, 15, 48000, 16.0 / 9.0},
      {"ntsc-dvd", "dvd", "mpeg2video", "ac3", 720, 480, 30000, 1001, 18, 48000, 16.0 / 9.0},
      {"ntsc-vcd", "vcd", "mpeg1video", "mp2", 352, 240, 30000, 1001, 18, 44100, 4.0 / 3.0},
      {"pal-vcd", "vcd", "mpeg1video", "mp2", 352, 288, 25, 1, 15, 44100, 4.0 / 3.0},
      {"film-svcd", "svcd", "mpeg2video", "mp2", 480, 480, 24000, 1001, 18, 44100, 4.0 / 3.0},
      {"pal-dv", "dv", "", "", 720, 576, 25, 1, -1, 48000, 0.0},
      {"ntsc-dv50", "dv", "", "", 720, 480, 30000, 1001, -1, 48000, 0.0},
  };
  for (const auto& c : cases) {
    TCustomFFmpeg job;
    job.SetOption("target", c.target);
    EXPECT_EQ(job.ForcedFormatName, c.format) << c.target;
    EXPECT_EQ(job.VideoCodecName, c.video) << c.target;
    EXPECT_EQ(job.AudioCodecName, c.audio) << c.target;
    EXPECT_EQ(job.FrameWidth, c.width) << c.target;
    EXPECT_EQ(job.FrameHeight, c.height) << c.target;
    EXPECT_EQ(job.FrameRate.num, c.rateNum) << c.target;
    EXPECT_EQ(job.FrameRate.den, c.rateDen) << c.target;
    if (c.gop > 0) {
      EXPECT_EQ(Option(job.CodecOptions(engine::okVideo), "g"), c.gop) << c.target;
    }
    EXPECT_EQ(job.AudioSampleRate, c.sampleRate) << c.target;
    EXPECT_DOUBLE_EQ(job.FrameAspectRatio, c.aspect) << c.target;
  }
}

TEST(Targets, RatesPixelFormatsAndMuxing) {
  TCustomFFmpeg vcd;
  vcd.SetOption("target", "pal-vcd");
  EXPECT_EQ(Option(vcd.CodecOptions(engine::okVideo), "b"), 1150000);
  EXPECT_EQ(Option(vcd.CodecOptions(engine::okVideo), "maxrate"), 1150000);
  EXPECT_EQ(Option(vcd.CodecOptions(engine::okVideo), "bufsize"), 327680);
  EXPECT_EQ(Option(vcd.CodecOptions(engine::okAudio), "b"), 224000);
  EXPECT_EQ(Option(vcd.FormatOptions(), "packetsize"), 2324);
  EXPECT_TRUE(Recorded(vcd, "muxrate"));
  EXPECT_DOUBLE_EQ(vcd.MuxPreload, 0.44);

  TCustomFFmpeg svcd;
  svcd.SetOption("ac", "1");
  svcd.SetOption("target", "pal-svcd");
  EXPECT_EQ(svcd.AudioChannels, 2);
  EXPECT_TRUE(Recorded(svcd, "scan_offset"));

  for (auto [target, format] :
       {std::pair{"pal-dv", AV_PIX_FMT_YUV420P}, std::pair{"ntsc-dv", AV_PIX_FMT_YUV411P},
        std::pair{"pal-dv50", AV_PIX_FMT_YUV422P}}) {
    TCustomFFmpeg dv;
    dv.SetOption("target", target);
    EXPECT_EQ(dv.FramePixelFormat, format) << target;
  }

  // A given aspect ratio is kept.
  TCustomFFmpeg wide;
  wide.SetOption("aspect", "4:3");
  wide.SetOption("target", "pal-dvd");
  EXPECT_DOUBLE_EQ(wide.FrameAspectRatio, 4.0 / 3.0);
}

// Without a norm prefix the frame rate decides; a rate of no norm, or none given, leaves it
// to the fallback, which for the option is NTSC.
TEST(Targets, NormFromTheFrameRate) {
  struct Case {
    std::string rate, target;
    int width, height;
    std::string assumed;
  };
  const std::vector<Case> cases = {
      {"25", "dv", 720, 576, "PAL"},          {"30000/1001", "dv", 720, 480, "NTSC"},
      {"24000/1001", "dv", 720, 480, "NTSC"}, {"50", "dv", 720, 480, "NTSC"},
      {"", "dv", 720, 480, "NTSC"},           {"25", "vcd", 352, 288, "PAL"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    TCustomFFmpeg job;
    job.SetOption("r", c.rate);
    job.SetOption("target", c.target);
    EXPECT_EQ(job.FrameWidth, c.width) << c.rate;
    EXPECT_EQ(job.FrameHeight, c.height) << c.rate;
    EXPECT_EQ(log.Matching(engine::llVerbose, "Assuming " + c.assumed + " for target.").size(), 1u)
        << c.rate;
  }
}

TEST(Targets, OutputRecordTargetWithFallbackNorm) {
  struct Case {
    int target, norm, fallback;
    std::string format;
    int height;
  };
  const std::vector<Case> cases = {
      {3, 1, 1, "dvd", 576}, {3, 2, 1, "dvd", 480}, {3, 0, 1, "dvd", 576},
      {3, 0, 2, "dvd", 480}, {1, 7, 1, "vcd", 288}, {2, 0, 0, "svcd", 480},
      {0, 1, 1, "", 0},      {4, 1, 1, "", 0},      {-1, 1, 1, "", 0},
  };
  for (const auto& c : cases) {
    engine::TOutputOptions options;
    options.Target = c.target;
    options.TargetNorm = c.norm;
    options.TargetFallbackNorm = c.fallback;
    TCustomFFmpeg job;
    engine::ApplyTarget(job, options);
    EXPECT_EQ(job.ForcedFormatName, c.format) << c.target << "/" << c.norm << "/" << c.fallback;
    EXPECT_EQ(job.FrameHeight, c.height) << c.target << "/" << c.norm << "/" << c.fallback;
  }
}
