#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"

extern "C" {
#include <libavutil/opt.h>
}

using engine::TCustomFFmpeg;

namespace {

int64_t VideoOption(const TCustomFFmpeg& job, const char* name) {
  int64_t value = -12345;
  av_opt_get_int(job.CodecOptions(engine::okVideo), name, 0, &value);
  return value;
}

std::string RefusalOf(TCustomFFmpeg& job, const std::string& kind, const std::string& value) {
  try {
    job.LoadPreset(kind, value);
  } catch (const engine::FFmpegException& e) {
    return e.what();
  }
  return "(accepted)";
}

}  // namespace

TEST(Presets, BuiltInNamesDirectlyOrAfterThePendingEncoder) {
  TCustomFFmpeg direct;
  direct.SetOption("vpre", "LIBX264-DEFAULT");
  EXPECT_EQ(VideoOption(direct, "g"), 250);
  EXPECT_EQ(VideoOption(direct, "bf"), 3);

  TCustomFFmpeg pending;
  pending.SetOption("vcodec", "libx264");
  pending.SetOption("vpre", "baseline");
  EXPECT_EQ(VideoOption(pending, "bf"), 0);
  // x264's own words are recorded with their values for the x264 context, the translated
  // ones under today's names.
  bool coderRecorded = false, weightbRecorded = false;
  for (const auto& option : pending.RecordedOptions()) {
    if (option.Name == "coder" && option.Value == "0") coderRecorded = true;
    if (option.Name == "weightb" && option.Value == "0") weightbRecorded = true;
  }
  EXPECT_TRUE(coderRecorded);
  EXPECT_TRUE(weightbRecorded);

  // Without a pending encoder "baseline" is a file name, and there is no such file here.
  TCustomFFmpeg none;
  EXPECT_EQ(RefusalOf(none, "v", "baseline"), "Preset \"baseline\" not found");
  // An audio preset does not look under the video encoder's name.
  EXPECT_EQ(RefusalOf(pending, "a", "baseline"), "Preset \"baseline\" not found");
}

TEST(Presets, PresetFileLines) {
  testsupport::TempDir dir;
  auto file = dir.write("my.ffpreset",
                        "  # comment\r\n\r\nvcodec=mpeg4\rg=30 \n  bf=2\nACODEC=libfaac\n\n");
  TCustomFFmpeg job;
  job.SetOption("fpre", file.string());
  EXPECT_EQ(job.VideoCodecName, "mpeg4");
  EXPECT_EQ(job.AudioCodecName, "aac");
  EXPECT_EQ(VideoOption(job, "g"), 30);
  EXPECT_EQ(VideoOption(job, "bf"), 2);

  auto empty = dir.write("empty.ffpreset", "");
  TCustomFFmpeg emptyJob;
  EXPECT_EQ(RefusalOf(emptyJob, "f", empty.string()), "(accepted)");
}

TEST(Presets, BadPresetFilesAreRefusedWithTheirLine) {
  testsupport::TempDir dir;
  struct Case {
    std::string content, expected;
  };
  const std::vector<Case> cases = {
      {"g=10\nnovalue\n", ": Invalid syntax: \"novalue\""},
      {"=5", ": Invalid syntax: \"=5\""},
      {"g=", ": Invalid syntax: \"g=\""},
      {std::string("g=1\x01\n"), "Invalid value \"1\x01\" for option \"g\"\r\n"},
      {"frobnicate=1",
       "Unrecognized option \"frobnicate\"\r\n{}: Invalid option or argument: "
       "\"frobnicate=1\", parsed as \"frobnicate\" = \"1\""},
      {std::string("g=2\0x=1", 7), ": Invalid syntax: \"g=2\""},
  };
  int index = 0;
  for (const auto& c : cases) {
    auto file = dir.write("bad" + std::to_string(index++) + ".ffpreset", c.content);
    TCustomFFmpeg job;
    std::string expected = c.expected;
    if (auto at = expected.find("{}"); at != std::string::npos)
      expected.replace(at, 2, file.string());
    std::string refusal = RefusalOf(job, "f", file.string());
    EXPECT_NE(refusal.find(expected), std::string::npos) << refusal;
    if (expected.front() == ':') {
      EXPECT_EQ(refusal, file.string() + expected);
    }
  }
  TCustomFFmpeg job;
  EXPECT_EQ(RefusalOf(job, "f", dir.str()), "Preset \"" + dir.str() + "\" not found");
  EXPECT_EQ(RefusalOf(job, "f", ""), "Preset \"\" not found");
  auto big = dir.write("big.ffpreset", std::string(2 << 20, '#'));
  EXPECT_EQ(RefusalOf(job, "f", big.string()),
            "Preset \"" + big.string() + "\" is too large for a preset file");
}
