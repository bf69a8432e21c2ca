// Whole runs of the transcode core on media made by the ffmpeg program, each output read
// back by ffprobe: containers and codecs, timing, stream copy, joining, limits, stopping
// and broken input.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <unistd.h>
#include <thread>

#include "EngineMedia.h"
#include "LogCapture.h"
#include "OutputProbe.h"
#include "TestSupport.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"

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
      if (!std::isnan(probe.duration)) {
        EXPECT_NEAR(probe.duration, 3.0, 0.1);
      }
    } else {
      EXPECT_FALSE(video);
      const bool mp3 = std::string(c.probedAudio) == "mp3";
      EXPECT_NEAR(probe.duration, 3.0, mp3 ? 0.06 : 0.05);
    }
    EXPECT_EQ(outputprobe::DecodeErrors(out), "");
  }
}

}  // namespace

namespace {

// Media of this file's own, made like EngineMedia's the first time a test asks.
std::string Made(const std::string& name, const std::string& arguments) {
  const std::string path = enginemedia::Folder() + "/" + name;
  if (std::filesystem::exists(path)) return path;
  const std::string partial = path + ".part" + std::to_string(getpid());
  const std::string command = "ffmpeg -nostdin -loglevel error -y " + arguments + " \"" + partial + "\"";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
  std::filesystem::rename(partial, path);
  return path;
}

std::string H264AacMkv() {
  return Made("h264aac.mkv",
              "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i "
              "sine=frequency=440:sample_rate=48000:duration=3 -c:v libx264 -g 10 -bf 2 "
              "-c:a aac -shortest -f matroska");
}

std::string Fps50() {
  return Made("fps50.avi", "-f lavfi -i testsrc=size=96x64:rate=50:duration=2 -c:v mpeg4 -f avi");
}

size_t PacketCount(const std::string& file, const std::string& type) {
  return outputprobe::Packets(file, type).size();
}

bool NeverGoesBack(const std::vector<outputprobe::Packet>& packets) {
  for (size_t i = 1; i < packets.size(); ++i)
    if (packets[i].dts < packets[i - 1].dts) return false;
  return true;
}

TEST(Transcode, StreamCopyKeepsEveryPacketAndStartsAtAKeyPacket) {
  TempDir dir;
  const std::string in = H264AacMkv();
  const std::string out = dir.str() + "/copy.mp4";
  TCustomFFmpeg job;
  Convert(job, {in}, out, {{"vcodec", "copy"}, {"acodec", "copy"}});
  EXPECT_TRUE(job.Finished);
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.First("video")->Get("codec_name"), "h264");
  EXPECT_EQ(probe.First("audio")->Get("codec_name"), "aac");
  EXPECT_EQ(PacketCount(out, "v"), PacketCount(in, "v"));
  EXPECT_EQ(PacketCount(out, "a"), PacketCount(in, "a"));
  const auto video = outputprobe::Packets(out, "v");
  ASSERT_FALSE(video.empty());
  EXPECT_TRUE(video.front().key);
  EXPECT_TRUE(NeverGoesBack(video));
  EXPECT_EQ(outputprobe::DecodeErrors(out), "");
}

TEST(Transcode, CopiedVideoStartsAtTheFirstKeyPacketUnlessAskedOtherwise) {
  TempDir dir;
  // Cut in the middle of a group of pictures: the first packets are not key packets.
  const std::string in = H264AacMkv();
  for (bool keepInitial : {false, true}) {
    SCOPED_TRACE(keepInitial);
    const std::string out = dir.str() + (keepInitial ? "/all.mkv" : "/key.mkv");
    TCustomFFmpeg job;
    job.OpenInputFile(in);
    job.SetOption("vcodec", "copy");
    job.SetOption("an", "");
    if (keepInitial) job.SetOption("copyinkf", "1");
    ASSERT_GT(job.OpenOutput(out, false), 0) << job.LastError;
    // Skip the first packets of the input so the copy begins inside a group of pictures.
    AVPacket* packet = av_packet_alloc();
    for (int i = 0; i < 3;) {
      ASSERT_GE(av_read_frame(job.InputFiles[0].get(), packet), 0);
      if (job.InputFiles[0]->streams[packet->stream_index]->codecpar->codec_type ==
          AVMEDIA_TYPE_VIDEO)
        ++i;
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    job.Transcode();
    const auto packets = outputprobe::Packets(out, "v");
    ASSERT_FALSE(packets.empty());
    const size_t inputPackets = PacketCount(in, "v") - 3;
    if (keepInitial) {
      EXPECT_EQ(packets.size(), inputPackets);
    } else {
      EXPECT_TRUE(packets.front().key);
      EXPECT_EQ(packets.size(), inputPackets - 7);  // key packets every 10 frames
    }
  }
}

TEST(Transcode, AudioAndVideoStartTogether) {
  TempDir dir;
  for (const char* name : {"/out.mp4", "/out.avi", "/out.flv", "/out.mkv"}) {
    SCOPED_TRACE(name);
    const std::string out = dir.str() + name;
    TCustomFFmpeg job;
    Convert(job, {H264AacMkv()}, out);
    const auto video = outputprobe::Packets(out, "v");
    const auto audio = outputprobe::Packets(out, "a");
    ASSERT_FALSE(video.empty());
    ASSERT_FALSE(audio.empty());
    double firstVideo = 1e9, firstAudio = 1e9;
    for (const auto& p : video) firstVideo = std::min(firstVideo, p.pts);
    for (const auto& p : audio) firstAudio = std::min(firstAudio, p.pts);
    EXPECT_LT(std::fabs(firstVideo - firstAudio), 1.0 / 25);
  }
}

TEST(Transcode, JoinedInputsOfDifferentSizesAndRatesRunOnOneAfterAnother) {
  TempDir dir;
  const std::string a = Made("join-a.mp4",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i "
                             "sine=sample_rate=44100:duration=2 -ac 2 -c:v mpeg4 -c:a aac -f mp4");
  const std::string b = Made("join-b.avi",
                             "-f lavfi -i testsrc=size=160x120:rate=15:duration=1.5 -f lavfi -i "
                             "sine=sample_rate=22050:duration=1.5 -ac 1 -c:v mpeg4 -c:a mp2 -f avi");
  const std::string c = Made("join-c.mkv",
                             "-f lavfi -i testsrc=size=240x180:rate=30:duration=1 -f lavfi -i "
                             "sine=sample_rate=48000:duration=1 -c:v mpeg4 -c:a mp2 -f matroska");
  const std::string out = dir.str() + "/joined.mp4";
  TCustomFFmpeg job;
  Convert(job, {a, b, c}, out, {{"s", "320x240"}, {"r", "25"}, {"ar", "44100"}, {"ac", "2"}}, true);
  EXPECT_TRUE(job.JoinMode);
  EXPECT_NEAR(job.TotalDuration / 1e6, 4.5, 0.05);
  EXPECT_TRUE(job.Finished);
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.streams.size(), 2u);
  EXPECT_NEAR(probe.duration, 4.5, 0.2);
  EXPECT_NEAR(probe.First("video")->Number("duration"), 4.5, 0.2);
  EXPECT_NEAR(probe.First("audio")->Number("duration"), 4.5, 0.2);
  const auto video = outputprobe::Packets(out, "v");
  const auto audio = outputprobe::Packets(out, "a");
  EXPECT_TRUE(NeverGoesBack(video));
  EXPECT_TRUE(NeverGoesBack(audio));
  EXPECT_NEAR(video.size(), 4.5 * 25, 0.2 * 25);
  EXPECT_EQ(outputprobe::DecodeErrors(out), "");
}

TEST(Transcode, JoinedStreamCopyContinuesAfterEachSegment) {
  TempDir dir;
  const std::string in = H264AacMkv();
  const std::string out = dir.str() + "/joined.mkv";
  TCustomFFmpeg job;
  Convert(job, {in, in, in}, out, {{"vcodec", "copy"}, {"acodec", "copy"}}, true);
  EXPECT_TRUE(job.Finished);
  const auto video = outputprobe::Packets(out, "v");
  EXPECT_EQ(video.size(), 3 * PacketCount(in, "v"));
  EXPECT_TRUE(NeverGoesBack(video));
  // Each segment starts where the longest stream of the one before ended: equal steps of
  // about the input's length.
  const size_t perInput = PacketCount(in, "v");
  std::vector<double> starts;
  for (size_t segment = 0; segment < 3; ++segment) {
    double start = 1e9;
    for (size_t i = segment * perInput; i < (segment + 1) * perInput; ++i)
      start = std::min(start, video[i].pts);
    starts.push_back(start);
  }
  EXPECT_NEAR(starts[1] - starts[0], 3.0, 0.1);
  EXPECT_NEAR(starts[2] - starts[1], starts[1] - starts[0], 0.002);
  EXPECT_NEAR(outputprobe::Read(out).duration, 3 * (starts[1] - starts[0]), 0.1);
}

struct Reports {
  std::mutex lock;
  std::vector<int> frames, fps;
  std::vector<float> quality;
  std::vector<int64_t> durations, totals;
  std::vector<int> files;
};

void CaptureReports(TCustomFFmpeg& job, Reports& reports) {
  job.ProgressIntervalUs = 0;
  job.ProgressLink = [&reports](TCustomFFmpeg&, int file, int frame, int fps, float q, float,
                                int64_t, int64_t duration, int64_t total) {
    std::lock_guard<std::mutex> lock(reports.lock);
    reports.files.push_back(file);
    reports.frames.push_back(frame);
    reports.fps.push_back(fps);
    reports.quality.push_back(q);
    reports.durations.push_back(duration);
    reports.totals.push_back(total);
  };
}

TEST(Transcode, ReportsOfAnAudioJobCarryNoVideoValuesAndAdvance) {
  TempDir dir;
  TCustomFFmpeg job;
  Reports reports;
  CaptureReports(job, reports);
  LogCapture log;
  Convert(job, {Media("av.mp4")}, dir.str() + "/out.mp3", {{"vn", ""}});
  ASSERT_GT(reports.frames.size(), 2u);
  for (size_t i = 0; i < reports.frames.size(); ++i) {
    EXPECT_EQ(reports.frames[i], -1);
    EXPECT_EQ(reports.fps[i], -1);
    EXPECT_EQ(reports.quality[i], -1.0f);
    EXPECT_EQ(reports.totals[i], 3000000);
  }
  EXPECT_EQ(reports.files.back(), -1);  // the last report
  EXPECT_GT(reports.durations.back(), reports.durations.front());
  EXPECT_NEAR(reports.durations.back() / 1e6, 3.0, 0.1);
  EXPECT_EQ(log.Matching(engine::llVerbose, "muxing overhead").size(), 1u);
}

TEST(Transcode, AVideoJobReportsOnlyOnceAFrameWasEncoded) {
  TempDir dir;
  TCustomFFmpeg job;
  Reports reports;
  CaptureReports(job, reports);
  Convert(job, {Media("av.mp4")}, dir.str() + "/out.avi");
  ASSERT_FALSE(reports.frames.empty());
  for (int frames : reports.frames) EXPECT_GE(frames, 1);
  EXPECT_EQ(reports.frames.back(), 75);
  EXPECT_GE(reports.quality.back(), 1.0f);  // the quantiser of the last coded frame

  // With no video frame encoded (all past the recording end) not even the end line comes.
  TCustomFFmpeg none;
  Reports nothing;
  CaptureReports(none, nothing);
  LogCapture log;
  Convert(none, {Media("av.mp4")}, dir.str() + "/none.avi", {{"vframes", "0"}});
  EXPECT_TRUE(nothing.frames.empty());
  EXPECT_TRUE(log.Matching(engine::llVerbose, "muxing overhead").empty());
}

TEST(Transcode, VideoSyncDuplicatesAndDropsToMeetTheOutputRate) {
  TempDir dir;
  struct Case {
    std::string input;
    const char* rate;
    const char* vsync;
    int frames, duplicated, dropped;
  };
  const Case cases[] = {
      // 25 into 50: every frame twice, but for the first one and the last, which has no
      // later frame to show how long it lasts.
      {Media("av.mp4"), "50", "1", 148, 73, 0},
      {Fps50(), "25", "1", 50, 0, 50},          // 50 into 25: every second frame dropped
      {Media("av.mp4"), "50", "0", 75, 0, 0},   // passthrough keeps the frames
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rate) + " vsync " + c.vsync);
    TCustomFFmpeg job;
    Convert(job, {c.input}, dir.str() + "/out.avi", {{"r", c.rate}, {"vsync", c.vsync}, {"an", ""}});
    EXPECT_NEAR(job.FramesDuplicated, c.duplicated, 1);
    EXPECT_NEAR(job.FramesDropped, c.dropped, 1);
    EXPECT_EQ(job.DupDropChanged, c.duplicated + c.dropped > 0);
    EXPECT_NEAR(static_cast<double>(PacketCount(dir.str() + "/out.avi", "v")), c.frames, 1);
  }
}

TEST(Transcode, FrameCountRecordingTimeAndStartLimitTheOutput) {
  TempDir dir;
  {
    // Duplicate-heavy: 25 into 50 frames per second, cut at exactly 100 frames.
    TCustomFFmpeg job;
    Convert(job, {Media("av.mp4")}, dir.str() + "/frames.avi", {{"r", "50"}, {"vframes", "100"}});
    EXPECT_EQ(PacketCount(dir.str() + "/frames.avi", "v"), 100u);
    EXPECT_TRUE(job.Finished);
  }
  {
    TCustomFFmpeg job;
    Convert(job, {Media("av.mp4")}, dir.str() + "/t.mp4", {{"t", "1.5"}});
    EXPECT_EQ(job.TotalDuration, 1500000);
    EXPECT_NEAR(outputprobe::Read(dir.str() + "/t.mp4").duration, 1.5, 0.1);
    EXPECT_NEAR(static_cast<double>(PacketCount(dir.str() + "/t.mp4", "v")), 1.5 * 25, 1);
  }
  {
    // Frames before the start are decoded but fed to no output.
    TCustomFFmpeg job;
    Convert(job, {Media("av.mp4")}, dir.str() + "/ss.mp4", {{"ss", "1"}});
    const auto probe = outputprobe::Read(dir.str() + "/ss.mp4");
    EXPECT_NEAR(probe.duration, 2.0, 0.1);
    EXPECT_NEAR(static_cast<double>(PacketCount(dir.str() + "/ss.mp4", "v")), 50, 1);
    const auto video = outputprobe::Packets(dir.str() + "/ss.mp4", "v");
    EXPECT_LT(video.front().pts, 0.1);  // the output starts at 0
  }
}

TEST(Transcode, TotalDurationIsTheLongestInputTheRecordingTimeOrTheJoinedSum) {
  const std::string two = Made("two-s.mp4", "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -c:v mpeg4 -f mp4");
  const std::string three = Made("three-s.mp4", "-f lavfi -i testsrc=size=64x48:rate=10:duration=3 -c:v mpeg4 -f mp4");
  TCustomFFmpeg longest;
  longest.OpenInputFile(three);
  longest.OpenInputFile(two);
  EXPECT_EQ(longest.TotalDuration, 3000000);
  longest.SetOption("t", "1");
  EXPECT_EQ(longest.TotalDuration, 1000000);

  TempDir dir;
  TCustomFFmpeg joined;
  joined.OpenInputFile(two);
  joined.OpenInputFile(three);
  ASSERT_GT(joined.OpenOutput(dir.str() + "/j.mp4", true), 0);
  joined.JoinSetup();
  EXPECT_EQ(joined.TotalDuration, 5000000);
  EXPECT_EQ(joined.OutputFileCount(), 2);
}

// The samples of a file as signed 16-bit mono.
std::vector<int16_t> Samples(const std::string& file) {
  auto result = testsupport::RunProcess(
      {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "s16le", "-ac", "1", "-"});
  std::vector<int16_t> samples(result.out.size() / 2);
  std::memcpy(samples.data(), result.out.data(), samples.size() * 2);
  return samples;
}

TEST(Transcode, VolumeScalesSamplesWithClippingAnd256LeavesThemAlone) {
  TempDir dir;
  const std::string loud = Made("loud.wav", "-f lavfi -i sine=frequency=300:sample_rate=16000:duration=1 -af volume=5 -f wav");
  const auto original = Samples(loud);
  ASSERT_GT(original.size(), 1000u);
  for (int volume : {256, 512, 128}) {
    SCOPED_TRACE(volume);
    const std::string out = dir.str() + "/vol" + std::to_string(volume) + ".wav";
    TCustomFFmpeg job;
    Convert(job, {loud}, out, {{"vol", std::to_string(volume)}});
    const auto scaled = Samples(out);
    ASSERT_EQ(scaled.size(), original.size());
    bool clipped = false;
    for (size_t i = 0; i < original.size(); ++i) {
      const int expected = std::clamp((original[i] * volume + 128) >> 8, -32768, 32767);
      ASSERT_EQ(scaled[i], expected) << "sample " << i;
      clipped = clipped || expected == 32767 || expected == -32768;
    }
    EXPECT_EQ(clipped, volume == 512);
  }
}

TEST(Transcode, CopyRefusesWhatNeedsDecodedFrames) {
  TempDir dir;
  struct Case {
    std::vector<Option> options;
    std::function<void(TCustomFFmpeg&)> prepare;
    const char* text;
  };
  const Case cases[] = {
      {{{"acodec", "copy"}, {"vn", ""}, {"vol", "512"}}, nullptr,
       "-acodec copy and -vol are incompatible (frames are not decoded)"},
      {{{"vcodec", "copy"}, {"an", ""}}, [](TCustomFFmpeg& j) { j.PreviewFlags = 2; },
       "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
      {{{"vcodec", "copy"}, {"an", ""}},
       [](TCustomFFmpeg& j) {
         j.VideoInputHookLink = [](TCustomFFmpeg&, engine::TBitmap&, int, int64_t, bool&, bool&) {};
       },
       "-vcodec copy and VideoHook are incompatible (frames are not decoded)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TCustomFFmpeg job;
    if (c.prepare) c.prepare(job);
    try {
      Convert(job, {H264AacMkv()}, dir.str() + "/copy.mkv", c.options);
      ADD_FAILURE() << "no error";
    } catch (const engine::FFmpegException& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_FALSE(job.Finished);
    EXPECT_EQ(job.Run, nullptr);  // the per-run state is released
  }
  // A copied audio stream at the unchanged volume works.
  TCustomFFmpeg job;
  Convert(job, {H264AacMkv()}, dir.str() + "/audio.mkv", {{"acodec", "copy"}, {"vn", ""}, {"vol", "256"}});
  EXPECT_TRUE(job.Finished);
}

TEST(Transcode, UnsupportedRatesAndChannelsBecomeTheNearestTheEncoderTakes) {
  TempDir dir;
  struct Case {
    const char* file;
    const char* codec;
    int askedRate, askedChannels, rate, channels;
  };
  const Case cases[] = {
      {"/a.m4a", "aac", 22500, 2, 22050, 2},
      {"/b.m4a", "aac", 44800, 1, 44100, 1},
      {"/c.mp2", "mp2", 44100, 6, 44100, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    LogCapture log;
    TCustomFFmpeg job;
    const std::string out = dir.str() + c.file;
    Convert(job, {Media("av.mp4")}, out,
            {{"vn", ""}, {"acodec", c.codec}, {"ar", std::to_string(c.askedRate)},
             {"ac", std::to_string(c.askedChannels)}});
    const auto probe = outputprobe::Read(out);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.First("audio")->Number("sample_rate"), c.rate);
    EXPECT_EQ(probe.First("audio")->Number("channels"), c.channels);
    const size_t warnings = log.Matching(engine::llWarning, "Sample rate").size() +
                            log.Matching(engine::llWarning, "channels not supported").size();
    EXPECT_EQ(warnings, (c.askedRate != c.rate) + (c.askedChannels != c.channels));
  }
  // 3GP's AMR is not installed: the first installed encoder 3GP accepts takes its place.
  LogCapture log;
  TCustomFFmpeg job;
  Convert(job, {Media("av.mp4")}, dir.str() + "/d.3gp", {{"s", "176x144"}, {"ar", "8000"}, {"ac", "1"}});
  EXPECT_EQ(outputprobe::Read(dir.str() + "/d.3gp").First("audio")->Get("codec_name"), "aac");
  EXPECT_EQ(log.Matching(engine::llWarning, "using aac").size(), 1u);
}

TEST(Transcode, PalDvdTargetGivesAPlayableDvdStream) {
  TempDir dir;
  const std::string out = dir.str() + "/dvd.mpg";
  TCustomFFmpeg job;
  Convert(job, {Media("av.mp4")}, out, {{"target", "pal-dvd"}});
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  const auto* video = probe.First("video");
  const auto* audio = probe.First("audio");
  ASSERT_TRUE(video && audio);
  EXPECT_EQ(video->Get("codec_name"), "mpeg2video");
  EXPECT_EQ(video->Get("width") + "x" + video->Get("height"), "720x576");
  EXPECT_NEAR(video->Number("r_frame_rate"), 25, 0.01);
  EXPECT_EQ(audio->Get("codec_name"), "ac3");
  EXPECT_EQ(audio->Number("sample_rate"), 48000);
  EXPECT_EQ(outputprobe::DecodeErrors(out), "");
}

TEST(Transcode, PassOneWritesItsStatisticsBesideTheWorkingFolder) {
  TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  TCustomFFmpeg job;
  Convert(job, {Media("av.mp4")}, dir.str() + "/pass1.avi", {{"pass", "1"}, {"an", ""}});
  std::filesystem::current_path(previous);
  const auto log = dir.path() / "ffmpeg2pass-0.log";
  ASSERT_TRUE(std::filesystem::exists(log));
  EXPECT_GT(std::filesystem::file_size(log), 100u);

  // Pass 2 reads it back.
  std::filesystem::current_path(dir.path());
  TCustomFFmpeg second;
  Convert(second, {Media("av.mp4")}, dir.str() + "/pass2.avi", {{"pass", "2"}, {"an", ""}, {"b", "100000"}});
  std::filesystem::current_path(previous);
  EXPECT_TRUE(second.Finished);
  EXPECT_EQ(outputprobe::DecodeErrors(dir.str() + "/pass2.avi"), "");
}

TEST(Transcode, StoppingHalfWayEndsTheLoopAndStillWritesTheTrailer) {
  TempDir dir;
  const std::string in = Made("long.mp4",
                              "-f lavfi -i testsrc=size=320x240:rate=25:duration=20 -f lavfi -i "
                              "sine=sample_rate=44100:duration=20 -c:v mpeg4 -c:a aac -f mp4");
  const std::string out = dir.str() + "/stopped.mp4";
  TCustomFFmpeg job;
  job.OpenInputFile(in);
  ASSERT_GT(job.OpenOutput(out, false), 0);
  job.ProgressIntervalUs = 0;
  job.ProgressLink = [](TCustomFFmpeg& j, int, int, int, float, float, int64_t, int64_t duration,
                        int64_t) {
    if (duration > 5000000) j.StopRequested = true;
  };
  std::string error;
  std::thread worker([&] {
    try {
      job.Transcode();
    } catch (const std::exception& e) {
      error = e.what();
    }
  });
  worker.join();
  EXPECT_EQ(error, "");
  EXPECT_FALSE(job.Finished);
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_GT(probe.duration, 4.5);
  EXPECT_LT(probe.duration, 8.0);
  EXPECT_EQ(outputprobe::DecodeErrors(out), "");
}

TEST(Transcode, BrokenInputConvertsWhatCanBeReadAndLogsTheDecodeErrors) {
  TempDir dir;
  const std::string good = Made("broken-src.ts",
                                "-f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
                                "sine=sample_rate=44100:duration=4 -c:v mpeg4 -c:a mp2 -f mpegts");
  const std::string bytes = testsupport::ReadFile(good);
  // Damaged in the middle: a run of garbage over a quarter of the file.
  std::string damaged = bytes;
  for (size_t i = damaged.size() * 3 / 8; i < damaged.size() * 5 / 8; ++i)
    damaged[i] = static_cast<char>((i * 7919) ^ 0x5a);
  const auto damagedFile = dir.write("damaged.ts", damaged);
  const auto truncatedFile = dir.write("truncated.ts", bytes.substr(0, bytes.size() / 2));
  for (const auto& in : {damagedFile, truncatedFile}) {
    SCOPED_TRACE(in.filename().string());
    LogCapture log;
    TCustomFFmpeg job;
    Reports reports;
    CaptureReports(job, reports);
    const std::string out = dir.str() + "/" + in.stem().string() + ".avi";
    Convert(job, {in.string()}, out);
    EXPECT_TRUE(job.Finished);
    ASSERT_FALSE(reports.files.empty());
    EXPECT_EQ(reports.files.back(), -1);  // the run ended with its last report
    const auto probe = outputprobe::Read(out);
    ASSERT_TRUE(probe.ok) << probe.error;
    EXPECT_GT(probe.duration, 1.0);
    if (in == damagedFile) {
      EXPECT_FALSE(log.Matching(engine::llVerbose, "Error while decoding stream").empty() &&
                   log.Matching(engine::llError, "").empty());
    }
  }
}

TEST(Transcode, ATimeStampJumpMovesTheOffsetUnlessTimeStampsAreCopied) {
  TempDir dir;
  const std::string first = Made("jump-1.ts", "-f lavfi -i testsrc=size=96x64:rate=25:duration=2 -c:v mpeg2video -f mpegts");
  const std::string second = Made("jump-2.ts", "-f lavfi -i testsrc=size=96x64:rate=25:duration=2 -c:v mpeg2video -output_ts_offset 60 -f mpegts");
  const std::string jump = testsupport::ReadFile(first) + testsupport::ReadFile(second);
  const auto in = dir.write("jump.ts", jump);
  for (bool copyTs : {false, true}) {
    SCOPED_TRACE(copyTs);
    TCustomFFmpeg job;
    const std::string out = dir.str() + (copyTs ? "/kept.mkv" : "/smooth.mkv");
    std::vector<Option> options = {{"vcodec", "mpeg4"}, {"vsync", "0"}};
    if (copyTs) options.push_back({"copyts", ""});
    Convert(job, {in.string()}, out, options);
    const auto packets = outputprobe::Packets(out, "v");
    ASSERT_GT(packets.size(), 90u);
    double last = 0;
    for (const auto& p : packets) last = std::max(last, p.pts);
    if (copyTs)
      EXPECT_GT(last, 55.0);
    else
      EXPECT_LT(last, 4.5);
  }
}

}  // namespace

namespace {

// The mean brightness of every picture of a file's video.
std::vector<double> FrameBrightness(const std::string& file) {
  auto result = testsupport::RunProcess({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", file,
                                         "-f", "rawvideo", "-pix_fmt", "gray", "-"});
  const auto probe = outputprobe::Read(file);
  const size_t size = static_cast<size_t>(probe.First("video")->Number("width") *
                                          probe.First("video")->Number("height"));
  std::vector<double> means;
  for (size_t at = 0; size && at + size <= result.out.size(); at += size) {
    double sum = 0;
    for (size_t i = 0; i < size; ++i) sum += static_cast<unsigned char>(result.out[at + i]);
    means.push_back(sum / size);
  }
  return means;
}

TEST(Transcode, VideoHooksSeeEveryFrameAndWhatTheyDrawIsEncoded) {
  TempDir dir;
  using engine::TBitmap;
  struct Case {
    const char* name;
    bool output;  // the output hook, else the input hook
    std::function<void(TBitmap&, int, bool&, bool&)> handler;
    size_t calls;          // 0: one per frame
    bool white;            // the encoded pictures are the drawn ones
  };
  const Case cases[] = {
      {"input draws", false,
       [](TBitmap& b, int, bool&, bool&) { std::fill(b.Pixels.begin(), b.Pixels.end(), 255); }, 0,
       true},
      {"output draws", true,
       [](TBitmap& b, int, bool&, bool&) { std::fill(b.Pixels.begin(), b.Pixels.end(), 255); }, 0,
       true},
      {"input leaves Update false", false,
       [](TBitmap& b, int, bool& update, bool&) {
         std::fill(b.Pixels.begin(), b.Pixels.end(), 255);
         update = false;
       },
       0, false},
      {"input stops at once", false, [](TBitmap&, int, bool&, bool& stop) { stop = true; }, 1,
       false},
      {"input raises", false,
       [](TBitmap& b, int, bool&, bool&) {
         std::fill(b.Pixels.begin(), b.Pixels.end(), 255);
         throw std::runtime_error("handler broke");
       },
       0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    TCustomFFmpeg job;
    std::vector<int> numbers;
    std::vector<int64_t> times;
    auto link = [&](TCustomFFmpeg&, TBitmap& bitmap, int frame, int64_t pts, bool& update,
                    bool& stop) {
      EXPECT_TRUE(update);
      EXPECT_FALSE(stop);
      EXPECT_EQ(bitmap.Width, 320);
      numbers.push_back(frame);
      times.push_back(pts);
      c.handler(bitmap, frame, update, stop);
    };
    if (c.output)
      job.VideoOutputHookLink = link;
    else
      job.VideoInputHookLink = link;
    const std::string out = dir.str() + "/hook.avi";
    Convert(job, {Media("av.mp4")}, out, {{"an", ""}, {"qscale", "2"}});
    EXPECT_EQ(numbers.size(), c.calls ? c.calls : 75u);
    for (size_t i = 0; i < numbers.size(); ++i) {
      EXPECT_EQ(numbers[i], static_cast<int>(i) + 1);  // counted from 1
      EXPECT_NEAR(times[i], i * 40000, 1000);
    }
    const auto brightness = FrameBrightness(out);
    ASSERT_EQ(brightness.size(), 75u);
    for (double mean : brightness) {
      if (c.white)
        EXPECT_GT(mean, 250);
      else
        EXPECT_LT(mean, 200);
    }
    if (std::string(c.name) == "input raises") {
      EXPECT_EQ(log.Matching(engine::llError, "Error occurs VideoHook event: handler broke").size(), 75u);
    }
  }
}

TEST(Transcode, TheAudioHookSeesAndMayChangeTheDecodedSamples) {
  TempDir dir;
  TCustomFFmpeg job;
  int64_t seen = 0;
  std::vector<int64_t> times;
  job.AudioHookLink = [&](TCustomFFmpeg&, uint8_t* samples, int64_t pts, int size, int rate,
                          int channels, AVSampleFormat format) {
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(format, AV_SAMPLE_FMT_FLT);  // planar decoder output is shown interleaved
    seen += size / (channels * 4);
    times.push_back(pts);
    std::fill(samples, samples + size, 0);  // silence
  };
  const std::string out = dir.str() + "/silent.wav";
  Convert(job, {Media("av.mp4")}, out, {{"vn", ""}});
  EXPECT_NEAR(seen, 3 * 44100, 2048);
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  const auto samples = Samples(out);
  ASSERT_GT(samples.size(), 100000u);
  EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), 0);
}

TEST(Transcode, LateAudioIsPaddedWithSilenceWhenAudioSyncIsOn) {
  TempDir dir;
  const std::string late = Made("late-audio.mp4",
                                "-f lavfi -i testsrc=size=96x64:rate=25:duration=2 -itsoffset 0.5 "
                                "-f lavfi -i sine=sample_rate=44100:duration=1.5 -c:v mpeg4 -c:a aac "
                                "-f mp4");
  LogCapture log;
  TCustomFFmpeg job;
  job.Verbose = 3;
  const std::string out = dir.str() + "/synced.mkv";
  Convert(job, {late}, out, {{"async", "1"}, {"acodec", "pcm_s16le"}});
  const auto silence = log.Matching(engine::llVerbose, "audio samples of silence");
  ASSERT_EQ(silence.size(), 1u);
  const int added = std::stoi(silence[0].substr(std::string("adding ").size()));
  EXPECT_NEAR(added, 22050, 1500);
  const auto audio = outputprobe::Packets(out, "a");
  ASSERT_FALSE(audio.empty());
  EXPECT_LT(audio.front().pts, 0.05);
  // The first half second is the silence that was added.
  const auto samples = Samples(out);
  ASSERT_GT(samples.size(), 44100u);
  EXPECT_EQ(*std::max_element(samples.begin(), samples.begin() + 20000), 0);
  EXPECT_GT(*std::max_element(samples.begin() + 30000, samples.end()), 1000);
}

TEST(Transcode, RatesAndLayoutsBecomeWhatTheOutputAsks) {
  TempDir dir;
  struct Case {
    const char* rate;
    const char* channels;
    int sampleRate, outChannels;
  };
  for (const Case& c : {Case{"48000", "2", 48000, 2}, Case{"44100", "2", 44100, 2}, Case{"44100", "1", 44100, 1}}) {
    SCOPED_TRACE(std::string(c.rate) + "/" + c.channels);
    TCustomFFmpeg job;
    const std::string out = dir.str() + "/r.wav";
    Convert(job, {Media("av.mp4")}, out, {{"vn", ""}, {"ar", c.rate}, {"ac", c.channels}});
    const auto probe = outputprobe::Read(out);
    EXPECT_EQ(probe.First("audio")->Number("sample_rate"), c.sampleRate);
    EXPECT_EQ(probe.First("audio")->Number("channels"), c.outChannels);
    EXPECT_NEAR(probe.duration, 3.0, 0.03);
  }
}

TEST(Transcode, MappingPicksTheSourceAndNamesWhatIsMissing) {
  TempDir dir;
  const std::string twoAudio = Made("two-audio.mkv",
                                    "-f lavfi -i sine=frequency=300:duration=1 -f lavfi -i "
                                    "sine=frequency=900:duration=2 -map 0 -map 1 -c:a pcm_s16le -f matroska");
  {
    // Two audio outputs and one matching input stream: the second reuses it.
    TCustomFFmpeg job;
    job.OpenInputFile(Media("audio.mp3"));
    ASSERT_GT(job.OpenOutput(dir.str() + "/a.wav", false), 0);
    ASSERT_GT(job.OpenOutput(dir.str() + "/b.wav", false), 0);
    job.Transcode();
    EXPECT_TRUE(job.Finished);
    EXPECT_NEAR(outputprobe::Read(dir.str() + "/b.wav").duration, 2.0, 0.05);
  }
  {
    // Explicit maps pick the second audio stream; a map of the wrong type is refused.
    TCustomFFmpeg job;
    job.OpenInputFile(twoAudio);
    job.SetOption("map", "0:1");
    ASSERT_GT(job.OpenOutput(dir.str() + "/second.wav", false), 0);
    job.Transcode();
    EXPECT_NEAR(outputprobe::Read(dir.str() + "/second.wav").duration, 2.0, 0.05);
  }
  {
    TCustomFFmpeg job;
    job.OpenInputFile(Media("av.mp4"));
    job.SetOption("map", "0:1");
    job.SetOption("map", "0:0");
    ASSERT_GT(job.OpenOutput(dir.str() + "/bad.avi", false), 0);
    try {
      job.Transcode();
      ADD_FAILURE();
    } catch (const engine::FFmpegException& e) {
      EXPECT_STREQ(e.what(), "映射的编解码器类型不匹配 #0.1 (Audio) -> #0.0 (Video)");
    }
  }
  {
    TCustomFFmpeg job;
    job.OpenInputFile(Media("av.mp4"));
    job.SetOption("map", "0:0");
    ASSERT_GT(job.OpenOutput(dir.str() + "/count.avi", false), 0);
    EXPECT_THROW(
        {
          try {
            job.Transcode();
          } catch (const engine::FFmpegException& e) {
            EXPECT_STREQ(e.what(), "流映射数量必须匹配输出流的数量");
            throw;
          }
        },
        engine::FFmpegException);
  }
}

}  // namespace

namespace {

TEST(Transcode, OneInputStreamFeedsACopyAndAnEncodingAtOnce) {
  TempDir dir;
  const std::string in = H264AacMkv();
  TCustomFFmpeg job;
  job.OpenInputFile(in);
  job.SetOption("vcodec", "copy");
  job.SetOption("an", "");
  ASSERT_GT(job.OpenOutput(dir.str() + "/copy.mkv", false), 0);
  job.SetOption("vcodec", "mpeg4");
  job.SetOption("an", "");
  ASSERT_GT(job.OpenOutput(dir.str() + "/encoded.avi", false), 0);
  job.Transcode();
  EXPECT_TRUE(job.Finished);
  EXPECT_EQ(PacketCount(dir.str() + "/copy.mkv", "v"), PacketCount(in, "v"));
  EXPECT_EQ(PacketCount(dir.str() + "/encoded.avi", "v"), 75u);
}

TEST(Transcode, SubtitlesAreDecodedAndEncodedAgain) {
  TempDir dir;
  const std::string out = dir.str() + "/subs.mkv";
  TCustomFFmpeg job;
  Convert(job, {Media("subs.mkv")}, out);
  EXPECT_TRUE(job.Finished);
  const auto probe = outputprobe::Read(out);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_TRUE(probe.First("subtitle"));
  EXPECT_EQ(probe.First("subtitle")->Get("codec_name"), "ass");
  EXPECT_EQ(PacketCount(out, "s"), 1u);
}

}  // namespace

namespace {

TEST(Transcode, ADecoderThatChangesLayoutMidStreamIsLoggedOnceAndConverted) {
  TempDir dir;
  const std::string stereo = Made("stereo.ts", "-f lavfi -i sine=sample_rate=44100:duration=1 -ac 2 -c:a mp2 -f mpegts");
  const std::string mono = Made("mono.ts", "-f lavfi -i sine=sample_rate=44100:duration=1 -ac 1 -c:a mp2 -output_ts_offset 1 -f mpegts");
  const auto in = dir.write("change.ts", testsupport::ReadFile(stereo) + testsupport::ReadFile(mono));
  LogCapture log;
  TCustomFFmpeg job;
  const std::string out = dir.str() + "/change.wav";
  Convert(job, {in.string()}, out, {{"ac", "2"}});
  EXPECT_TRUE(job.Finished);
  const auto changes = log.Matching(engine::llInfo, "frame changed from rate:44100 fmt:s16p ch:2 to rate:44100 fmt:s16p ch:1");
  EXPECT_EQ(changes.size(), 1u);
  EXPECT_NEAR(outputprobe::Read(out).duration, 2.0, 0.1);
}

}  // namespace

namespace {

TEST(Transcode, ALoopedPictureSequencePlaysUntilTheRecordingTime) {
  TempDir dir;
  for (int i = 1; i <= 3; ++i)
    ASSERT_EQ(testsupport::RunProcess({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi",
                                       "-i", "color=c=red:size=64x48:duration=0.04", "-frames:v", "1",
                                       dir.str() + "/p" + std::to_string(i) + ".png"})
                  .exitCode,
              0);
  TCustomFFmpeg job;
  job.SetOption("loop_input", "");
  job.SetOption("r", "25");
  Convert(job, {dir.str() + "/p%d.png"}, dir.str() + "/looped.avi", {{"t", "2"}});
  EXPECT_FALSE(job.LoopInput);  // it belonged to that input
  EXPECT_NEAR(static_cast<double>(PacketCount(dir.str() + "/looped.avi", "v")), 50, 2);
}

}  // namespace

namespace {

TEST(Transcode, SetUpFailuresEndTheRunWithTheirTexts) {
  TempDir dir;
  struct Case {
    const char* output;
    std::vector<Option> options;
    std::string text;
  };
  const Case cases[] = {
      {"/small.3gp", {{"vcodec", "h263"}, {"s", "100x100"}, {"an", ""}},
       "错误打开编码器的输出流 #0.0 (Video) - "
       "也许不正确的参数，如 bit_rate、速度、宽度或高度出错。请检查错误日志消息，以找出更多的详细信息。"},
      {"/pcm.mp3", {{"acodec", "pcm_s16le"}},
       "Could not write header for output file #0 (incorrect codec parameters ?)"},
      {"/nothing.avi", {{"vn", ""}, {"an", ""}}, "输出文件#0不包含任何流"},
      {"/filter.avi", {{"vf", "nosuchfilter"}, {"an", ""}}, "错误打开过滤器:Invalid argument"},
      {"/pass2.avi", {{"pass", "2"}, {"an", ""}, {"passlogfile", "PREFIX"}},
       "无法读取文件：错误读取日志文件\"PREFIX-0.log\" pass-2编码"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<Option> options = c.options;
    for (auto& o : options)
      if (o.value == "PREFIX") o.value = dir.str() + "/missing";
    std::string text = c.text;
    if (text.find("PREFIX") != std::string::npos)
      text.replace(text.find("PREFIX"), 6, dir.str() + "/missing");
    LogCapture log;
    TCustomFFmpeg job;
    try {
      Convert(job, {Media("av.mp4")}, dir.str() + c.output, options);
      ADD_FAILURE() << "no error";
    } catch (const engine::FFmpegException& e) {
      EXPECT_EQ(e.what(), text);
    }
    EXPECT_FALSE(job.Finished);
    EXPECT_EQ(job.Run, nullptr);
  }
}

TEST(Transcode, VideoFiltersDecideTheEncodedSize) {
  TempDir dir;
  TCustomFFmpeg job;
  const std::string out = dir.str() + "/cropped.avi";
  Convert(job, {Media("av.mp4")}, out, {{"vf", "crop=160:120,hflip"}, {"an", ""}});
  const auto probe = outputprobe::Read(out);
  EXPECT_EQ(probe.First("video")->Get("width") + "x" + probe.First("video")->Get("height"), "160x120");
  EXPECT_EQ(PacketCount(out, "v"), 75u);
  EXPECT_NEAR(probe.duration, 3.0, 0.05);
}

TEST(Transcode, ShortestFileSizeAndRateEmulationEndOrPaceTheLoop) {
  TempDir dir;
  const std::string two = Made("two-s.mp4", "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -c:v mpeg4 -f mp4");
  {
    TCustomFFmpeg job;
    job.OpenInputFile(Media("av.mp4"));
    job.OpenInputFile(two);
    job.SetOption("map", "1:0");  // the two-second video
    job.SetOption("map", "0:1");  // the three-second audio
    job.SetOption("shortest", "");
    ASSERT_GT(job.OpenOutput(dir.str() + "/shortest.mkv", false), 0);
    job.Transcode();
    EXPECT_NEAR(outputprobe::Read(dir.str() + "/shortest.mkv").duration, 2.0, 0.25);
  }
  {
    TCustomFFmpeg job;
    Convert(job, {Media("av.mp4")}, dir.str() + "/limited.avi", {{"fs", "60000"}, {"b", "1000000"}});
    const auto size = std::filesystem::file_size(dir.str() + "/limited.avi");
    EXPECT_GT(size, 60000u);
    EXPECT_LT(size, 200000u);
    EXPECT_LT(outputprobe::Read(dir.str() + "/limited.avi").duration, 2.0);
  }
  {
    TCustomFFmpeg job;
    job.SetOption("re", "");
    const auto start = std::chrono::steady_clock::now();
    Convert(job, {two}, dir.str() + "/paced.avi");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(seconds, 1.7);  // read no faster than it plays
  }
}

TEST(Transcode, GlobalMetadataAndChaptersReachTheOutput) {
  TempDir dir;
  const auto meta = dir.write("meta.txt",
                              ";FFMETADATA1\ntitle=Song 歌\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                              "title=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=3000\ntitle=Two\n");
  const std::string in = dir.str() + "/chapters.mkv";
  ASSERT_EQ(testsupport::RunProcess({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i",
                                     Media("av.mp4"), "-i", meta.string(), "-map_metadata", "1",
                                     "-map_chapters", "1", "-c", "copy", in})
                .exitCode,
            0);
  TCustomFFmpeg job;
  const std::string out = dir.str() + "/out.mkv";
  Convert(job, {in}, out, {{"ss", "0.5"}});
  auto result = testsupport::RunProcess({"/usr/bin/ffprobe", "-v", "error", "-show_chapters",
                                         "-show_entries", "format_tags=title", "-of", "flat", out});
  EXPECT_NE(result.out.find("title=\"Song 歌\""), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("chapters.chapter.1.tags.title=\"Two\""), std::string::npos) << result.out;
  // Chapters move with the start: the second begins half a second earlier.
  EXPECT_NE(result.out.find("chapters.chapter.1.start_time=\"0.500000\""), std::string::npos) << result.out;
}

}  // namespace

namespace {

TEST(Transcode, ForcedKeyFramesAndBitstreamFiltersShapeThePackets) {
  TempDir dir;
  {
    TCustomFFmpeg job;
    const std::string out = dir.str() + "/keys.avi";
    Convert(job, {Media("av.mp4")}, out, {{"g", "250"}, {"force_key_frames", "1,2.23"}, {"an", ""}});
    std::vector<double> keys;
    for (const auto& p : outputprobe::Packets(out, "v"))
      if (p.key) keys.push_back(p.pts);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_NEAR(keys[0], 0.0, 0.001);
    EXPECT_NEAR(keys[1], 1.0, 0.001);
    EXPECT_NEAR(keys[2], 2.24, 0.001);  // 2.23 s falls on the frame nearest to it
  }
  {
    // H.264 from Matroska keeps its length-prefixed form; the filter turns it into the
    // start-code form a raw stream needs.
    TCustomFFmpeg job;
    const std::string out = dir.str() + "/raw.h264";
    Convert(job, {H264AacMkv()}, out, {{"vcodec", "copy"}, {"vbsf", "h264_mp4toannexb"}, {"an", ""}});
    const std::string bytes = testsupport::ReadFile(out);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\0\0\0\1", 4));
    EXPECT_EQ(PacketCount(out, "v"), PacketCount(H264AacMkv(), "v"));
  }
}

}  // namespace

namespace {

TEST(Transcode, NewStreamOptionsAddAStreamToTheLastOutput) {
  TempDir dir;
  const std::string twoAudio = Made("two-audio.mkv",
                                    "-f lavfi -i sine=frequency=300:duration=1 -f lavfi -i "
                                    "sine=frequency=900:duration=2 -map 0 -map 1 -c:a pcm_s16le -f matroska");
  TCustomFFmpeg job;
  job.OpenInputFile(twoAudio);
  job.SetOption("acodec", "libvorbis");
  ASSERT_GT(job.OpenOutput(dir.str() + "/both.mka", false), 0);
  job.SetOption("acodec", "flac");
  job.SetOption("newaudio", "");
  job.Transcode();
  EXPECT_TRUE(job.Finished);
  const auto probe = outputprobe::Read(dir.str() + "/both.mka");
  ASSERT_EQ(probe.streams.size(), 2u);
  EXPECT_EQ(probe.streams[0].Get("codec_name"), "vorbis");
  EXPECT_EQ(probe.streams[1].Get("codec_name"), "flac");
}

}  // namespace

namespace {

TEST(Transcode, EncoderSettingsTheEncodersRefuseAreFittedAndAddedFlagsKeepTheCodecsOwn) {
  TempDir dir;
  {
    // Motion JPEG takes the full-range twin of the input's format.
    LogCapture log;
    TCustomFFmpeg job;
    const std::string out = dir.str() + "/mjpeg.avi";
    Convert(job, {Media("av.mp4")}, out, {{"vcodec", "mjpeg"}, {"an", ""}});
    EXPECT_EQ(outputprobe::Read(out).First("video")->Get("pix_fmt"), "yuvj420p");
    EXPECT_EQ(log.Matching(engine::llWarning, "auto-selecting format 'yuvj420p'").size(), 1u);
  }
  {
    // The DVD audio rate is above what layer II allows.
    LogCapture log;
    TCustomFFmpeg job;
    const std::string out = dir.str() + "/mp2.mpg";
    Convert(job, {Media("av.mp4")}, out, {{"acodec", "mp2"}, {"ab", "448000"}, {"vn", ""}});
    EXPECT_NEAR(outputprobe::Read(out).First("audio")->Number("bit_rate"), 384000, 1000);
    EXPECT_EQ(log.Matching(engine::llWarning, "Bit rate 448000 not supported by mp2, using 384000").size(), 1u);
  }
  {
    // "+loop" adds the loop filter and keeps x264's closed groups of pictures.
    TCustomFFmpeg job;
    const std::string out = dir.str() + "/x264.mp4";
    Convert(job, {Media("av.mp4")}, out, {{"vcodec", "libx264"}, {"flags", "+loop"}, {"an", ""}});
    const std::string bytes = testsupport::ReadFile(out);
    EXPECT_NE(bytes.find("open_gop=0"), std::string::npos);
    EXPECT_NE(bytes.find("deblock=1"), std::string::npos);
  }
}

}  // namespace
