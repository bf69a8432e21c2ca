// The decoder's file and stream records against ffprobe on generated media, and every
// kind of broken input.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "decoder/FFDecoder.h"
#include "decoder/ProbeJson.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavformat/avformat.h>
}

using namespace engine;

namespace {

class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    ASSERT_TRUE(LoadEngineLibraries("lib")) << LastLoadError();
    logger_ = std::make_unique<TFFLogger>();
    logger_->SetLogLevel(llInfo);
    logger_->OnLog = [this](const void* sender, uint32_t, TLogLevel level,
                            const std::string& text) {
      logged_.push_back({sender, level, text});
    };
  }
  void TearDown() override { logger_.reset(); }
  bool logged(const void* sender, TLogLevel level, const std::string& text) const {
    for (const auto& l : logged_)
      if (l.sender == sender && l.level == level && l.text == text) return true;
    return false;
  }
  struct Logged {
    const void* sender;
    TLogLevel level;
    std::string text;
  };
  std::unique_ptr<TFFLogger> logger_;
  std::vector<Logged> logged_;
};

double seconds(const std::string& text) { return std::stod(text); }

TEST_F(DecoderTest, RecordsAgreeWithFfprobeForEveryFixture) {
  for (const char* name :
       {"av.mp4", "audio.mp3", "video.mkv", "raw.h264", "multiaudio.mkv", "meta.mp3", "odd.mkv"}) {
    SCOPED_TRACE(name);
    const std::string path = fixtures::Media(name);
    auto probe = fixtures::Probe(
        path, "format=duration,nb_streams:stream=codec_type,width,height,sample_rate,channels");
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(path)) << decoder.LastErrorMessage();
    const int count = std::stoi(probe["format.nb_streams"]);
    ASSERT_EQ(decoder.StreamCount(), count);
    TFileStreamInfo file;
    ASSERT_TRUE(decoder.GetFileStreamInfo(file));
    if (probe["format.duration"] == "N/A") {
      EXPECT_EQ(file.Duration, -1);
    } else {
      EXPECT_NEAR(file.Duration / 1e6, seconds(probe["format.duration"]), 0.05);
    }
    // ProbeJson carries the same numbers.
    const std::string json = ProbeJson(decoder);
    EXPECT_NE(json.find("\"Duration\":" + std::to_string(file.Duration) + ","), std::string::npos);
    EXPECT_NE(json.find("\"StreamCount\":" + std::to_string(count) + ","), std::string::npos);
    EXPECT_EQ(decoder.FileSize(), static_cast<int64_t>(std::filesystem::file_size(path)));
    int video = 0, audio = 0;
    for (int i = 0; i < count; ++i) {
      const std::string key = "streams.stream." + std::to_string(i) + ".";
      const std::string type = probe[key + "codec_type"];
      if (type == "video") {
        if (video++ == 0) {
          EXPECT_EQ(decoder.FirstVideoStream(), i);
        }
        TVideoStreamInfo v;
        ASSERT_TRUE(decoder.GetVideoStreamInfo(i, v));
        EXPECT_EQ(v.Width, std::stoi(probe[key + "width"]));
        EXPECT_EQ(v.Height, std::stoi(probe[key + "height"]));
        EXPECT_NEAR(v.AspectRatio, static_cast<double>(v.Width) / v.Height, 1e-4);
        EXPECT_GT(v.FrameRateNum, 0);
        EXPECT_FALSE(v.CodecName.empty());
      } else if (type == "audio") {
        if (audio++ == 0) {
          EXPECT_EQ(decoder.FirstAudioStream(), i);
        }
        TAudioStreamInfo a;
        ASSERT_TRUE(decoder.GetAudioStreamInfo(i, a));
        EXPECT_EQ(a.SampleRate, std::stoi(probe[key + "sample_rate"]));
        EXPECT_EQ(a.Channels, std::stoi(probe[key + "channels"]));
      } else {
        ADD_FAILURE() << "unexpected stream kind " << type;
      }
    }
    EXPECT_EQ(decoder.VideoStreamCount(), video);
    EXPECT_EQ(decoder.AudioStreamCount(), audio);
    if (video == 0) {
      EXPECT_EQ(decoder.FirstVideoStream(), -1);
    }
    if (audio == 0) {
      EXPECT_EQ(decoder.FirstAudioStream(), -1);
    }
  }
}

TEST_F(DecoderTest, CodecTextsAndStreamTimes) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("av.mp4")));
  TVideoStreamInfo v;
  ASSERT_TRUE(decoder.GetVideoStreamInfo(-1, v));
  EXPECT_EQ(v.CodecName, "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
  EXPECT_EQ(v.FrameRateNum, 25);
  EXPECT_EQ(v.FrameRateDen, 1);
  EXPECT_EQ(v.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_NEAR(v.Duration / 1e6, 4.0, 0.05);
  const AVStream* stream = decoder.Context()->streams[decoder.FirstVideoStream()];
  EXPECT_EQ(v.DurationTicks, stream->duration);
  EXPECT_EQ(v.StartTimeTicks, stream->start_time);
  TAudioStreamInfo a;
  ASSERT_TRUE(decoder.GetAudioStreamInfo(-1, a));
  EXPECT_EQ(a.CodecName, "aac(AAC (Advanced Audio Coding))");
  EXPECT_EQ(a.SampleFormat, AV_SAMPLE_FMT_FLTP);
  EXPECT_GT(a.BitRate, 0);
}

TEST_F(DecoderTest, AudioOnlyFileHasNoVideoRecord) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("audio.mp3")));
  EXPECT_EQ(decoder.FirstVideoStream(), -1);
  EXPECT_EQ(decoder.VideoStreamCount(), 0);
  TVideoStreamInfo v;
  v.Width = 99;
  EXPECT_FALSE(decoder.GetVideoStreamInfo(-1, v));
  EXPECT_TRUE(logged(&decoder, llError, "no video stream."));
  EXPECT_EQ(decoder.LastErrorMessage(), "no video stream.");
  EXPECT_EQ(v.Width, -1);
  EXPECT_EQ(v.Height, -1);
  EXPECT_EQ(v.AspectRatio, -1.0f);
  EXPECT_EQ(v.Duration, -1);
  EXPECT_TRUE(v.CodecName.empty());
  EXPECT_FALSE(decoder.DecodeVideoFrame(-1));
}

TEST_F(DecoderTest, StreamIndexChecks) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("multiaudio.mkv")));
  ASSERT_EQ(decoder.AudioStreamCount(), 2);
  const struct {
    bool audio;
    int index;
    const char* error;
  } cases[] = {{true, 0, "stream #0 is not audio stream."},
               {false, 1, "stream #1 is not video stream."},
               {true, 3, "stream index #3 is invalid."},
               {false, 100, "stream index #100 is invalid."}};
  for (const auto& c : cases) {
    bool ok;
    if (c.audio) {
      TAudioStreamInfo a;
      ok = decoder.GetAudioStreamInfo(c.index, a);
      EXPECT_EQ(a.SampleRate, -1);
    } else {
      TVideoStreamInfo v;
      ok = decoder.GetVideoStreamInfo(c.index, v);
      EXPECT_EQ(v.Width, -1);
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(logged(&decoder, llError, c.error)) << c.error;
  }
  TAudioStreamInfo second;
  ASSERT_TRUE(decoder.GetAudioStreamInfo(2, second));
  EXPECT_EQ(second.SampleRate, 16000);
  EXPECT_EQ(second.Channels, 1);
  EXPECT_EQ(second.Language, "ger");
  EXPECT_EQ(second.CodecName, "vorbis(Vorbis)");
}

TEST_F(DecoderTest, RawStreamWithoutContainerDuration) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("raw.h264")));
  TFileStreamInfo file;
  ASSERT_TRUE(decoder.GetFileStreamInfo(file));
  EXPECT_EQ(file.Duration, -1);
  TVideoStreamInfo v;
  ASSERT_TRUE(decoder.GetVideoStreamInfo(-1, v));
  EXPECT_EQ(v.Duration, -1);
  EXPECT_EQ(v.Width, 176);
}

TEST_F(DecoderTest, ContainerMetadata) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("meta.mp3")));
  TFileStreamInfo file;
  ASSERT_TRUE(decoder.GetFileStreamInfo(file));
  EXPECT_EQ(file.Title, "Quote \"and\" 中文");
  EXPECT_EQ(file.Author, "Someone");
  EXPECT_EQ(file.Album, "Album");
  EXPECT_EQ(file.Genre, "Rock");
  EXPECT_EQ(file.Comment, "Note");
  EXPECT_EQ(file.Copyright, "Owner");
  EXPECT_EQ(file.Year, 2011);
  EXPECT_EQ(file.Track, 3);
  // The same values, escaped, in the probe line.
  const std::string json = ProbeJson(decoder);
  EXPECT_NE(json.find("\"Title\":\"Quote \\\"and\\\" 中文\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"Year\":2011"), std::string::npos);
}

TEST_F(DecoderTest, BrokenInputGivesTheDecodersErrorText) {
  testsupport::TempDir dir;
  std::string random(64 * 1024, '\0');
  std::mt19937 generator(7);
  for (auto& c : random) c = static_cast<char>(generator());
  const std::string whole = testsupport::ReadFile(fixtures::Media("av.mp4"));
  std::filesystem::create_directory(dir.path() / "folder.mp4");
  const struct {
    std::string path;
    std::string error;  // the text after "<path>: "
  } cases[] = {
      {dir.write("empty.mp4", "").string(), "Invalid data found when processing input"},
      {dir.write("random.mp4", random).string(), "Invalid data found when processing input"},
      // Its index is at the end: the container cannot be read at all.
      {dir.write("truncated.mp4", whole.substr(0, whole.size() / 3)).string(),
       "Invalid data found when processing input"},
      {(dir.path() / "missing.mp4").string(), "No such file or directory"},
      {(dir.path() / "folder.mp4").string(), "Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TFFDecoder decoder;
    EXPECT_FALSE(decoder.LoadFile(c.path));
    EXPECT_EQ(decoder.LastErrorMessage(), c.path + ": " + c.error);
    EXPECT_FALSE(decoder.IsOpen());
    EXPECT_EQ(decoder.StreamCount(), -1);
    EXPECT_FALSE(decoder.DecodeVideoFrame());
    EXPECT_EQ(decoder.LastErrorMessage(), "file not loaded.");
  }
}

TEST_F(DecoderTest, TruncatedFileWithItsIndexFirstOpensAndEndsEarly) {
  testsupport::TempDir dir;
  const std::string whole = dir.path() / "whole.mp4";
  ASSERT_TRUE(fixtures::Run("ffmpeg -nostdin -v error -y -i '" + fixtures::Media("av.mp4") +
                            "' -c copy -movflags +faststart '" + whole + "'"));
  const std::string bytes = testsupport::ReadFile(whole);
  const auto cut = dir.write("cut.mp4", bytes.substr(0, bytes.size() / 2));
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(cut.string())) << decoder.LastErrorMessage();
  int frames = 0;
  while (decoder.DecodeVideoFrame(-1)) ++frames;
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 100) << "four seconds at 25 frames a second, half of it missing";
  EXPECT_TRUE(decoder.EndOfFile());
  TFileStreamInfo file;
  ASSERT_TRUE(decoder.GetFileStreamInfo(file));
  EXPECT_NEAR(file.Duration / 1e6, 4.0, 0.05) << "the index still tells the whole length";
  // Behind the cut: either the seek already reports the end or decoding finds nothing.
  const bool sought = decoder.Seek(0, 3500000);
  EXPECT_TRUE(sought || decoder.EndOfFile()) << decoder.LastErrorMessage();
  EXPECT_FALSE(decoder.DecodeVideoFrame(-1)) << "nothing to decode behind the cut";
}

TEST_F(DecoderTest, NoFileMeansMinusOneRecordsAndWarnings) {
  TFFDecoder decoder;
  TFileStreamInfo file;
  file.Duration = 5;
  file.Title = "stale";
  EXPECT_FALSE(decoder.GetFileStreamInfo(file));
  EXPECT_EQ(file.Duration, -1);
  EXPECT_EQ(file.StartTime, -1);
  EXPECT_EQ(file.BitRate, -1);
  EXPECT_TRUE(file.Title.empty());
  EXPECT_TRUE(logged(&decoder, llWarning, "file not loaded."));
  EXPECT_EQ(decoder.FileName(), "");
  EXPECT_EQ(decoder.LastErrorMessage(), "file not loaded.");
  EXPECT_FALSE(decoder.Seek(0, 1000));
  TBitmap bitmap;
  EXPECT_FALSE(decoder.PictureToBitmap(bitmap));
  EXPECT_EQ(decoder.LastErrorMessage(), "picture not ready, please decode first");
  EXPECT_EQ(decoder.FirstAudioStream(), -1);
  EXPECT_EQ(decoder.AudioStreamCount(), -1);
}

TEST_F(DecoderTest, UnknownForcedFormatIsNotLogged) {
  TFFDecoder decoder;
  EXPECT_FALSE(decoder.LoadFile(fixtures::Media("audio.mp3"), "no-such-format"));
  EXPECT_EQ(decoder.LastErrorMessage(), "Unknown input format: no-such-format");
  EXPECT_TRUE(logged_.empty());
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("audio.mp3"), "mp3"));
  EXPECT_EQ(decoder.ForcedFormat(), "mp3");
}

TEST_F(DecoderTest, OpeningIsStoppedByTheThreadsInterruptCheck) {
  auto stop = [](void*) { return true; };
  const std::string path = fixtures::Media("video.mkv");
  TFFDecoder decoder;
  {
    ScopedInterruptCheck check(nullptr, stop);
    EXPECT_FALSE(decoder.LoadFile(path));
    EXPECT_EQ(decoder.LastErrorMessage(), path + ": Immediate exit requested");
  }
  EXPECT_TRUE(decoder.LoadFile(path)) << "without the check it opens";
}

TEST_F(DecoderTest, AttachedFileIsDescribedButNeverMovedOrClosed) {
  const std::string path = fixtures::Media("av.mp4");
  AVFormatContext* ctx = nullptr;
  ASSERT_EQ(avformat_open_input(&ctx, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(ctx, nullptr), 0);
  {
    TFFDecoder decoder;
    decoder.Attach(ctx);
    EXPECT_FALSE(decoder.OwnsFile());
    EXPECT_EQ(decoder.StreamCount(), 2);
    EXPECT_EQ(decoder.FileName(), path);
    try {
      decoder.Seek(0, 1000000);
      ADD_FAILURE() << "seeking an attached file";
    } catch (const FFmpegException& e) {
      EXPECT_STREQ(e.what(), "file cannot be seeked, handle is readonly.");
    }
    EXPECT_THROW(decoder.DecodeVideoFrame(), FFmpegException);
    EXPECT_TRUE(logged(&decoder, llWarning, "file cannot be seeked, handle is readonly."));
    decoder.CloseFile();
    EXPECT_EQ(decoder.StreamCount(), -1);
  }
  // Still open and readable after the decoder is gone.
  AVPacket* packet = av_packet_alloc();
  EXPECT_EQ(av_read_frame(ctx, packet), 0);
  av_packet_free(&packet);
  avformat_close_input(&ctx);
}

}  // namespace

namespace {

TEST_F(DecoderTest, StreamWithoutTimeBaseDenominatorIsReadInWholeTicks) {
  const std::string path = fixtures::Media("video.mkv");
  AVFormatContext* ctx = nullptr;
  ASSERT_EQ(avformat_open_input(&ctx, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(ctx, nullptr), 0);
  const struct {
    AVRational given;
    AVRational used;
  } cases[] = {{{1, 0}, {1, 1}}, {{0, 0}, {0, 1}}, {{3, 0}, {3, 3}}};
  for (const auto& c : cases) {
    ctx->streams[0]->time_base = c.given;
    ctx->streams[0]->duration = 20;
    TFFDecoder decoder;
    decoder.Attach(ctx);
    TVideoStreamInfo v;
    ASSERT_TRUE(decoder.GetVideoStreamInfo(0, v));
    EXPECT_EQ(ctx->streams[0]->time_base.num, c.used.num);
    EXPECT_EQ(ctx->streams[0]->time_base.den, c.used.den);
    EXPECT_EQ(v.DurationTicks, 20);
    EXPECT_EQ(v.Duration, av_rescale_q(20, c.used, AV_TIME_BASE_Q));
  }
  avformat_close_input(&ctx);
}

TEST_F(DecoderTest, SeekingByBytes) {
  const struct {
    const char* name;
    bool supported;
  } cases[] = {{"raw.h264", true}, {"audio.mp3", true}, {"av.mp4", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(fixtures::Media(c.name)));
    const int64_t middle = decoder.FileSize() / 2;
    EXPECT_EQ(decoder.Seek(TFFDecoder::kSeekByte, middle), c.supported);
    if (!c.supported) {
      EXPECT_EQ(decoder.LastErrorMessage(),
                "could not seek to position " + std::to_string(middle) + " bytes");
    } else if (decoder.FirstVideoStream() >= 0) {
      ASSERT_TRUE(decoder.DecodeVideoFrame(-1));
      EXPECT_GE(decoder.PictureBytePosition(), middle);
    }
  }
}

}  // namespace

namespace {

TEST_F(DecoderTest, NamesOutsideAsciiOpenAsTheyAre) {
  testsupport::TempDir dir;
  const std::string bytes = testsupport::ReadFile(fixtures::Media("video.mkv"));
  for (const char* name : {"中文 文件.mkv", "naïve café.mkv", "a'b\"c.mkv"}) {
    const std::string path = dir.write(name, bytes).string();
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(path)) << decoder.LastErrorMessage();
    EXPECT_EQ(decoder.FileName(), path);
    EXPECT_NE(ProbeJson(decoder).find("\"File\":" + JsonString(path)), std::string::npos);
    ASSERT_TRUE(decoder.DecodeVideoFrame(-1));
  }
}

}  // namespace

namespace {

TEST(JsonString, EscapesAndReplacesWhatIsNotUtf8) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line\nnext\ttab\r", "\"line\\nnext\\ttab\\r\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {"中文", "\"中文\""},
      {"\xff", "\"\\ufffd\""},                        // not UTF-8 at all
      {"\xe4\xb8", "\"\\ufffd\\ufffd\""},             // cut short
      {"\xc0\xaf", "\"\\ufffd\\ufffd\""},             // overlong "/"
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a lone surrogate
      {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},   // outside the basic plane
  };
  for (const auto& c : cases) EXPECT_EQ(engine::JsonString(c.text), c.json) << c.text;
}

}  // namespace
