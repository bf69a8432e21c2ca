#include <gtest/gtest.h>

#include <ctime>
#include <string>

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

std::string Meta(const TCustomFFmpeg& job, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(job.Metadata, key, nullptr, 0);
  return entry ? entry->value : "(none)";
}

}  // namespace

TEST(OutputOptions, TypedFieldsReachTheJob) {
  engine::TOutputOptions o;
  o.ForceFormat = "mp4";
  o.PacketSize = 1000;
  o.MuxDelay = 0.3f;
  o.AudioVolume = 0;
  o.AudioChannels = 1;
  o.AudioSampleRate = 22050;
  o.AudioBitrate = 96000;
  o.AudioLanguage = "eng";
  o.AudioSync = 1;
  o.AudioTag = "mp4a";
  o.FrameRate = "30000/1001";
  o.FrameAspectRatio = "16:9";
  o.GopSize = 48;
  o.VideoBitrate = 800000;
  o.VideoMaxRate = 1000000;
  o.VideoBufferSize = 2000000;
  o.VideoSync = 2;
  o.DisableSubtitle = true;
  o.CopyTs = true;
  o.StartTime = 5000000;
  o.RecordingTime = 30000000;
  o.Metadata.Year = 2009;
  o.Metadata.Track = 0;
  o.Metadata.Title = "标题";
  TCustomFFmpeg job;
  engine::ApplyOutputOptions(job, o);
  EXPECT_EQ(job.ForcedFormatName, "mp4");
  EXPECT_EQ(Option(job.FormatOptions(), "packetsize"), 1000);
  EXPECT_FLOAT_EQ(job.MuxMaxDelay, 0.3f);
  EXPECT_DOUBLE_EQ(job.MuxPreload, 0.5);
  EXPECT_EQ(job.AudioVolume, 0);
  EXPECT_EQ(job.AudioChannels, 1);
  EXPECT_EQ(job.AudioSampleRate, 22050);
  EXPECT_EQ(Option(job.CodecOptions(engine::okAudio), "b"), 96000);
  EXPECT_EQ(job.AudioLanguage, "eng");
  EXPECT_EQ(job.AudioSyncMethod, 1);
  EXPECT_EQ(job.AudioTag, 0x6134706du);
  EXPECT_EQ(job.FrameRate.num, 30000);
  EXPECT_DOUBLE_EQ(job.FrameAspectRatio, 16.0 / 9.0);
  EXPECT_EQ(Option(job.CodecOptions(engine::okVideo), "g"), 48);
  EXPECT_EQ(Option(job.CodecOptions(engine::okVideo), "b"), 800000);
  EXPECT_EQ(Option(job.CodecOptions(engine::okVideo), "maxrate"), 1000000);
  EXPECT_EQ(job.VideoSyncMethod, 2);
  EXPECT_TRUE(job.SubtitleDisable);
  EXPECT_FALSE(job.VideoDisable);
  EXPECT_TRUE(job.CopyTs);
  EXPECT_EQ(job.StartTime, 5000000);
  EXPECT_EQ(job.RecordingTime, 30000000);
  EXPECT_EQ(job.TotalDuration, 30000000);
  EXPECT_EQ(Meta(job, "year"), "2009");
  EXPECT_EQ(Meta(job, "track"), "(none)");
  EXPECT_EQ(Meta(job, "title"), "标题");
  EXPECT_EQ(Meta(job, "album"), "(none)");
}

// A reset record asks for nothing: the job keeps its own defaults.
TEST(OutputOptions, AResetRecordLeavesTheDefaults) {
  TCustomFFmpeg job;
  engine::ApplyOutputOptions(job, engine::TOutputOptions{});
  EXPECT_EQ(job.AudioSampleRate, 44100);
  EXPECT_EQ(job.AudioChannels, 2);
  EXPECT_EQ(job.AudioVolume, 256);
  EXPECT_EQ(job.FrameRate.den, 0);
  EXPECT_EQ(job.StartTime, 0);
  EXPECT_EQ(job.RecordingTime, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(job.RecordingTimestamp, 0);
  EXPECT_TRUE(job.RecordedOptions().empty());
}

TEST(OutputOptions, BitratesAreLeftToTheTargetAndRefusalsDoNotRaise) {
  engine::TOutputOptions o;
  o.Target = 3;
  o.AudioBitrate = 96000;
  o.VideoBitrate = 800000;
  o.VideoMinRate = 2000000000;
  TCustomFFmpeg job;
  EXPECT_NO_THROW(engine::ApplyOutputOptions(job, o));
  EXPECT_NE(Option(job.CodecOptions(engine::okAudio), "b"), 96000);
  EXPECT_NE(Option(job.CodecOptions(engine::okVideo), "b"), 800000);

  // The handlers of "r", "aspect" and the tags still raise.
  for (auto field : {&engine::TOutputOptions::FrameRate, &engine::TOutputOptions::FrameAspectRatio,
                     &engine::TOutputOptions::AudioTag, &engine::TOutputOptions::VideoTag}) {
    engine::TOutputOptions bad;
    bad.*field = "bad value";
    TCustomFFmpeg badJob;
    EXPECT_THROW(engine::ApplyOutputOptions(badJob, bad), engine::FFmpegException);
  }
}

TEST(OutputOptions, TimestampInDaysBecomesUtcSeconds) {
  tzset();
  engine::TOutputOptions o;
  // 2000-01-01 00:00 local standard time is 36526 days after 1899-12-30.
  o.Metadata.Timestamp = 36526.0;
  TCustomFFmpeg job;
  engine::ApplyOutputOptions(job, o);
  EXPECT_EQ(job.RecordingTimestamp, 946684800 + timezone);

  o.Metadata.Timestamp = 0.0;
  TCustomFFmpeg now;
  const int64_t before = std::time(nullptr);
  engine::ApplyOutputOptions(now, o);
  EXPECT_GE(now.RecordingTimestamp, before);
  EXPECT_LE(now.RecordingTimestamp, before + 5);
}
