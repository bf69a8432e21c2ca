// Opening inputs on real media made by the ffmpeg program: stream parameters reach the job,
// forced formats and raw settings, the start position, programs, and every failure text.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "EngineMedia.h"
#include "LogCapture.h"
#include "TestSupport.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"

using engine::TCustomFFmpeg;
using enginemedia::Media;
using testsupport::TempDir;

namespace {

struct OpenCase {
  const char* media;
  int width, height;
  int sampleRate, channels;
  int streams;
};

TEST(InputOpening, EachKindOfFileGivesItsParametersToTheJob) {
  const OpenCase cases[] = {
      {"av.mp4", 320, 240, 44100, 2, 2},    {"audio.mp3", 0, 0, 22050, 1, 1},
      {"video.mkv", 160, 120, 44100, 2, 1},  // no audio: the audio defaults stay
      {"tone.wav", 0, 0, 16000, 1, 1},      {"subs.mkv", 96, 64, 44100, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.media);
    TCustomFFmpeg job;
    job.VideoCodecName = "mpeg4";
    job.VideoChannel = 3;
    ASSERT_TRUE(job.OpenInput(Media(c.media))) << job.LastError;
    EXPECT_EQ(job.InputFileCount(), 1);
    EXPECT_EQ(job.FrameWidth, c.width);
    EXPECT_EQ(job.FrameHeight, c.height);
    EXPECT_EQ(job.AudioSampleRate, c.sampleRate);
    EXPECT_EQ(job.AudioChannels, c.channels);
    ASSERT_EQ(job.InputDecoders.size(), static_cast<size_t>(c.streams));
    ASSERT_EQ(job.InputTsScales.size(), 1u);
    EXPECT_EQ(job.InputTsScales[0].size(), static_cast<size_t>(c.streams));
    // Without a start position the offset only undoes the file's own start time.
    const int64_t fileStart = job.InputFiles[0]->start_time;
    EXPECT_EQ(job.InputTsOffsets,
              std::vector<int64_t>{fileStart == AV_NOPTS_VALUE ? 0 : -fileStart});
    // The decoder asked for by name is recorded for video streams only.
    for (unsigned s = 0; s < job.InputFiles[0]->nb_streams; ++s) {
      bool video = job.InputFiles[0]->streams[s]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
      EXPECT_EQ(job.InputDecoders[s] != nullptr, video);
    }
    // The pending per-input settings are consumed.
    EXPECT_TRUE(job.VideoCodecName.empty());
    EXPECT_EQ(job.VideoChannel, 0);
    EXPECT_GT(job.TotalDuration, 900000);
  }
}

TEST(InputOpening, VideoParametersGiveAspectFrameRateAndPixelFormat) {
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4"))) << job.LastError;
  EXPECT_NEAR(job.FrameAspectRatio, 320.0 / 240.0, 1e-6);
  EXPECT_EQ(job.FrameRate.num * 1, 25 * job.FrameRate.den);
  EXPECT_EQ(job.FramePixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(job.AudioSampleFormat, AV_SAMPLE_FMT_FLTP);
}

TEST(InputOpening, SecondInputAppendsAndKeepsTheLongestDuration) {
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4"))) << job.LastError;
  const int64_t longest = job.TotalDuration;
  ASSERT_TRUE(job.OpenInput(Media("tone.wav"))) << job.LastError;
  EXPECT_EQ(job.InputFileCount(), 2);
  EXPECT_EQ(job.TotalDuration, longest);  // 1 s does not shorten 3 s
  EXPECT_EQ(job.InputDecoders.size(), 3u);
  EXPECT_EQ(job.InputTsOffsets.size(), 2u);
}

TEST(InputOpening, ForcedFormatAndRawSettingsReadHeaderlessSamples) {
  // Raw samples have no header: only the forced format and the job's rate and channels
  // describe them.
  TCustomFFmpeg job;
  job.ForcedFormatName = "s16le";
  job.AudioSampleRate = 8000;
  job.AudioChannels = 1;
  ASSERT_TRUE(job.OpenInput(Media("raw.s16le"))) << job.LastError;
  EXPECT_TRUE(job.ForcedFormatName.empty());
  EXPECT_STREQ(job.InputFiles[0]->iformat->name, "s16le");
  EXPECT_EQ(job.InputFiles[0]->streams[0]->codecpar->sample_rate, 8000);
  EXPECT_EQ(job.AudioChannels, 1);
  EXPECT_NEAR(static_cast<double>(job.TotalDuration), 1000000.0, 50000.0);

  // A forced format also overrides what the name suggests.
  TempDir dir;
  const auto renamed = dir.path() / "tone.mp4";
  std::filesystem::copy_file(Media("tone.wav"), renamed);
  TCustomFFmpeg forced;
  forced.ForcedFormatName = "wav";
  ASSERT_TRUE(forced.OpenInput(renamed.string())) << forced.LastError;
  EXPECT_STREQ(forced.InputFiles[0]->iformat->name, "wav");
}

TEST(InputOpening, UnknownForcedFormatRaisesBeforeOpening) {
  TCustomFFmpeg job;
  job.ForcedFormatName = "no-such-format";
  job.AudioCodecName = "mp3";
  try {
    job.OpenInput(Media("av.mp4"));
    FAIL() << "no exception";
  } catch (const engine::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown input format: \"no-such-format\"");
  }
  EXPECT_EQ(job.InputFileCount(), 0);
  EXPECT_TRUE(job.InputTsOffsets.empty());
  EXPECT_TRUE(job.AudioCodecName.empty());
}

TEST(InputOpening, StartTimeSeeksAndSetsTheTimestampOffset) {
  struct Case {
    int64_t start, tsOffset;
    bool copyTs;
    int64_t expected;
  };
  const Case cases[] = {
      {2000000, 0, false, -2000000},
      {2000000, 500000, false, -1500000},
      {2000000, 500000, true, 500000},  // copied timestamps keep only the asked offset
      {0, 300000, false, 300000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    TCustomFFmpeg job;
    job.StartTime = c.start;
    job.InputTsOffset = c.tsOffset;
    job.CopyTs = c.copyTs;
    ASSERT_TRUE(job.OpenInput(Media("video.mkv"))) << job.LastError;
    EXPECT_EQ(job.InputTsOffsets, std::vector<int64_t>{c.expected});
    EXPECT_EQ(job.StartTime, 0);
  }
  // The seek really happened: the first video packet read is the key frame before the
  // start position (key frames every 12 frames at 25 fps: 0.96 s), not the first frame.
  TCustomFFmpeg job;
  job.StartTime = 1000000;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  AVPacket* packet = av_packet_alloc();
  int64_t firstVideoMs = -1;
  while (firstVideoMs < 0 && av_read_frame(job.InputFiles[0].get(), packet) == 0) {
    AVStream* stream = job.InputFiles[0]->streams[packet->stream_index];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
      firstVideoMs = av_rescale_q(packet->pts, stream->time_base, AVRational{1, 1000});
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  EXPECT_GE(firstVideoMs, 900);
  EXPECT_LE(firstVideoMs, 1000);
}

TEST(InputOpening, TimestampScalesOfTheNextInputAreConsumed) {
  TCustomFFmpeg job;
  job.SetOption("itsscale", "1:2.5");  // stream 1
  ASSERT_TRUE(job.OpenInput(Media("av.mp4"))) << job.LastError;
  ASSERT_EQ(job.InputTsScales.size(), 1u);
  EXPECT_EQ(job.InputTsScales[0], (std::vector<double>{0.0, 2.5}));
  EXPECT_TRUE(job.NextInputTsScales.empty());
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  EXPECT_EQ(job.InputTsScales[1], (std::vector<double>{0.0, 0.0}));
}

TEST(InputOpening, ProgramIdKeepsOnlyThatProgram) {
  TCustomFFmpeg missing;
  missing.ProgramId = 7;
  EXPECT_FALSE(missing.OpenInput(Media("two.ts")));
  EXPECT_EQ(missing.LastError, "Specified program id not found");
  EXPECT_EQ(missing.InputFileCount(), 0);
  EXPECT_TRUE(missing.InputDecoders.empty());

  TCustomFFmpeg job;
  job.ProgramId = 1;
  ASSERT_TRUE(job.OpenInput(Media("two.ts"))) << job.LastError;
  EXPECT_EQ(job.ProgramId, 0);
  for (unsigned s = 0; s < job.InputFiles[0]->nb_streams; ++s)
    EXPECT_EQ(job.InputFiles[0]->streams[s]->discard, AVDISCARD_DEFAULT);
}

TEST(InputOpening, DisabledKindsAreDiscarded) {
  TCustomFFmpeg job;
  job.AudioDisable = true;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4"))) << job.LastError;
  for (unsigned s = 0; s < job.InputFiles[0]->nb_streams; ++s) {
    AVStream* stream = job.InputFiles[0]->streams[s];
    EXPECT_EQ(stream->discard == AVDISCARD_ALL, stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO);
  }
}

TEST(InputOpening, DecoderNamesAreChecked) {
  struct Case {
    const char* video;
    const char* audio;
    const char* error;
  };
  const Case cases[] = {
      {"no-such-codec", "", "Unknown decoder 'no-such-codec'"},
      {"", "libmp3lame", "Unknown decoder 'libmp3lame'"},  // an encoder only
      {"mp3", "", "Invalid decoder type 'mp3'"},
      {"", "h264", "Invalid decoder type 'h264'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    TCustomFFmpeg job;
    job.VideoCodecName = c.video;
    job.AudioCodecName = c.audio;
    job.VideoChannel = 2;
    EXPECT_FALSE(job.OpenInput(Media("av.mp4")));
    EXPECT_EQ(job.LastError, c.error);
    EXPECT_EQ(job.InputFileCount(), 0);
    EXPECT_TRUE(job.VideoCodecName.empty());
    EXPECT_TRUE(job.AudioCodecName.empty());
    EXPECT_EQ(job.VideoChannel, 0);
  }
}

TEST(InputOpening, BrokenInputsFailWithAClearTextAndLeaveNothingOpen) {
  TempDir dir;
  const std::string missing = (dir.path() / "missing.mp4").string();
  const std::string text = (dir.path() / "notes.mp4").string();
  std::ofstream(text) << "these are not media, only words\n";
  const std::string empty = (dir.path() / "empty.avi").string();
  std::ofstream{empty};
  const std::string truncated = (dir.path() / "cut.mp4").string();
  {
    // The header of an mp4 made by the ffmpeg program sits at the end: the first part
    // alone has no stream description.
    std::ifstream in(Media("av.mp4"), std::ios::binary);
    std::string head(4000, '\0');
    in.read(head.data(), head.size());
    std::ofstream(truncated, std::ios::binary) << head;
  }
  struct Case {
    std::string name;
    std::string error;
  };
  const Case cases[] = {
      {missing, missing + ": No such file or directory"},
      {text, text + ": Invalid data found when processing input"},
      {empty, empty + ": Invalid data found when processing input"},
      {dir.path().string(), dir.path().string() + ": Is a directory"},
      {truncated, truncated + ": Invalid data found when processing input"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomFFmpeg job;
    EXPECT_FALSE(job.OpenInput(c.name));
    EXPECT_EQ(job.LastError, c.error);
    EXPECT_EQ(job.InputFileCount(), 0);
    EXPECT_TRUE(job.InputTsOffsets.empty());
    EXPECT_TRUE(job.InputTsScales.empty());
    try {
      job.OpenInputFile(c.name);
      ADD_FAILURE() << "no exception";
    } catch (const engine::FFmpegException& e) {
      EXPECT_EQ(std::string(e.what()), c.error);
    }
  }
}

TEST(InputOpening, TruncatedStreamWithoutIndexStillOpens) {
  // A cut mp3 keeps its frames: it opens and reports what is there.
  TempDir dir;
  const std::string cut = (dir.path() / "cut.mp3").string();
  std::ifstream in(Media("audio.mp3"), std::ios::binary);
  std::string head(3000, '\0');
  in.read(head.data(), head.size());
  std::ofstream(cut, std::ios::binary) << head;
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(cut)) << job.LastError;
  EXPECT_EQ(job.AudioSampleRate, 22050);
}

TEST(InputOpening, ContainerRateDifferenceIsLoggedUnlessQuiet) {
  const char* line =
      "Seems stream 0 codec frame rate differs from container frame rate: 12.76 (625/49) -> "
      "25.00 (25/1)";
  for (int verbose : {1, 0, -1}) {
    SCOPED_TRACE(verbose);
    LogCapture log;
    TCustomFFmpeg job;
    job.Verbose = verbose;
    ASSERT_TRUE(job.OpenInput(Media("vfr.mp4"))) << job.LastError;
    EXPECT_EQ(log.Matching(engine::llInfo, "Seems stream"),
              verbose >= 0 ? std::vector<std::string>{line} : std::vector<std::string>{});
    // The job goes on with the base rate.
    EXPECT_EQ(job.FrameRate.num, 25);
    EXPECT_EQ(job.FrameRate.den, 1);
  }
  // A constant-rate file gives no such line.
  LogCapture log;
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  EXPECT_TRUE(log.Matching(engine::llInfo, "Seems stream").empty());
}

TEST(InputOpening, AStoppedJobAbortsTheBlockingOpen) {
  TCustomFFmpeg job;
  job.StopRequested = true;
  EXPECT_FALSE(job.OpenInput(Media("av.mp4")));
  EXPECT_EQ(job.LastError, Media("av.mp4") + ": Immediate exit requested");
  EXPECT_EQ(job.InputFileCount(), 0);
  // The check was removed again: another job on this thread opens normally.
  TCustomFFmpeg other;
  EXPECT_TRUE(other.OpenInput(Media("av.mp4"))) << other.LastError;
}

TEST(InputOpening, TheLinkSeesEachInputBeforeItsStreamsAreProbed) {
  TCustomFFmpeg job;
  std::vector<AVFormatContext*> seen;
  job.BeforeFindStreamInfo = [&](AVFormatContext* context) {
    seen.push_back(context);
    EXPECT_EQ(job.InputFileCount(), static_cast<int>(seen.size()) - 1);
  };
  ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
  ASSERT_TRUE(job.OpenInput(Media("audio.mp3")));
  EXPECT_FALSE(job.OpenInput(Media("audio.mp3") + ".missing"));  // never reaches the link
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], job.InputFiles[0].get());
  EXPECT_EQ(seen[1], job.InputFiles[1].get());
}

TEST(InputOpening, EveryOpenedInputGetsTheEngineInterruptCallback) {
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
  EXPECT_EQ(job.InputFiles[0]->interrupt_callback.callback, engine::EngineInterruptCB().callback);
  // After the open no blocking open is under way any more.
  EXPECT_EQ(job.IoStartTime, std::numeric_limits<int64_t>::max());
}

}  // namespace
