#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "LogCapture.h"
#include "TestSupport.h"
#include "engine/CustomFFmpeg.h"
#include "engine/X264Presets.h"
#include "enginebase/LibraryPtr.h"

extern "C" {
#include <libavutil/opt.h>
}

using engine::TCustomFFmpeg;

namespace {

engine::CodecContextPtr X264Context() {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  return engine::CodecContextPtr(codec ? avcodec_alloc_context3(codec) : nullptr);
}

std::string Text(void* object, const char* name, int flags = 0) {
  uint8_t* text = nullptr;
  if (av_opt_get(object, name, flags, &text) < 0 || !text) return "(none)";
  std::string result(reinterpret_cast<char*>(text));
  av_free(text);
  return result;
}

}  // namespace

// What was set on the job's option objects reaches a real encoder context: generic options
// through the per-kind object, x264's own words through the encoder's private options.
TEST(LibraryOptions, RecordedOptionsReachARealEncoderContext) {
  TCustomFFmpeg job;
  job.SetOption("flags", "+loop");
  job.SetOption("g", "48");
  job.SetOption("me_method", "umh");
  job.SetOption("directpred", "3");
  job.SetOption("ab", "64000");
  auto x264 = X264Context();
  ASSERT_TRUE(x264);
  job.ApplyRecordedOptions(x264.get(), engine::okVideo, AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_NE(x264->flags & AV_CODEC_FLAG_LOOP_FILTER, 0);
  EXPECT_EQ(x264->gop_size, 48);
  // Named constants read back as x264's numbers: umh is 2, direct prediction auto is 3.
  EXPECT_EQ(Text(x264.get(), "me_method", AV_OPT_SEARCH_CHILDREN), "2");
  EXPECT_EQ(Text(x264.get(), "direct-pred", AV_OPT_SEARCH_CHILDREN), "3");
  // The audio bit rate went to the audio object only.
  EXPECT_NE(x264->bit_rate, 64000);

  const AVCodec* aac = avcodec_find_encoder_by_name("aac");
  ASSERT_NE(aac, nullptr);
  engine::CodecContextPtr audio(avcodec_alloc_context3(aac));
  job.ApplyRecordedOptions(audio.get(), engine::okAudio, AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(audio->bit_rate, 64000);
  // A flag mask the option lacks keeps it off the context.
  TCustomFFmpeg decoding;
  decoding.SetOption("g", "7");
  auto other = X264Context();
  decoding.ApplyRecordedOptions(other.get(), engine::okVideo, AV_OPT_FLAG_DECODING_PARAM);
  EXPECT_NE(other->gop_size, 7);
}

// Old x264 blocks carry "rc_eq", which only the MPEG encoders still have: it is recorded
// with its value, reaches an MPEG-4 context, and is left out of an x264 context.
TEST(LibraryOptions, AnOptionOnlySomeEncodersKnowGoesOnlyToThem) {
  TCustomFFmpeg job;
  ASSERT_NO_THROW(job.SetOption("rc_eq", "blurCplx^(1-qComp)"));
  ASSERT_EQ(job.RecordedOptions().size(), 1u);
  EXPECT_EQ(job.RecordedOptions()[0].Value, "blurCplx^(1-qComp)");
  const AVCodec* mpeg4 = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  ASSERT_NE(mpeg4, nullptr);
  engine::CodecContextPtr context(avcodec_alloc_context3(mpeg4));
  job.ApplyRecordedOptions(context.get(), engine::okVideo, AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(Text(context.get(), "rc_eq", AV_OPT_SEARCH_CHILDREN), "blurCplx^(1-qComp)");
  auto x264 = X264Context();
  job.ApplyRecordedOptions(x264.get(), engine::okVideo, AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(Text(x264.get(), "rc_eq", AV_OPT_SEARCH_CHILDREN), "(none)");
}

TEST(LibraryOptions, FormatOptionsReachAMuxerContext) {
  TCustomFFmpeg job;
  job.SetOption("packetsize", "2324");
  job.SetOption("muxrate", "1411200");
  AVFormatContext* raw = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&raw, nullptr, "vcd", nullptr), 0);
  engine::FormatContextPtr output(raw);
  job.ApplyRecordedOptions(output.get(), AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(output->packet_size, 2324u);
  EXPECT_EQ(Text(output.get(), "muxrate", AV_OPT_SEARCH_CHILDREN), "1411200");
}

// Every built-in preset set through the job and copied onto a real libx264 context opens
// the encoder: the whole path the conversion workflow uses.
TEST(LibraryOptions, EveryBuiltInPresetOpensLibx264ThroughTheJob) {
  for (const auto& preset : engine::BuiltInPresets()) {
    TCustomFFmpeg job;
    job.SetOption("vcodec", "libx264");
    ASSERT_NO_THROW(job.SetOption("vpre", std::string(preset.Name))) << preset.Name;
    auto x264 = X264Context();
    job.ApplyRecordedOptions(x264.get(), engine::okVideo, AV_OPT_FLAG_ENCODING_PARAM);
    x264->width = 64;
    x264->height = 48;
    x264->pix_fmt = AV_PIX_FMT_YUV420P;
    x264->time_base = {1, 25};
    if (x264->rc_max_rate > 0 && x264->bit_rate == 0) x264->bit_rate = x264->rc_max_rate / 2;
    EXPECT_EQ(avcodec_open2(x264.get(), nullptr, nullptr), 0) << preset.Name;
  }
}

TEST(LibraryOptions, DebugOptionRaisesTheLogLevel) {
  LogCapture log;
  engine::DefaultLogger().SetLogLevel(engine::llInfo);
  TCustomFFmpeg job;
  job.SetOption("debug", "0");
  EXPECT_EQ(engine::DefaultLogger().LogLevel(), engine::llInfo);
  job.SetOption("debug", "pict");
  EXPECT_EQ(engine::DefaultLogger().LogLevel(), engine::llDebug);
}

TEST(LibraryOptions, PixelFormatListLogsEveryFormat) {
  LogCapture log;
  TCustomFFmpeg job;
  job.SetOption("pix_fmt", "list");
  size_t before = log.Lines().size();
  EXPECT_EQ(log.Matching(engine::llInfo, "").size(), 68u);
  job.SetOption("sample_fmt", "list");
  EXPECT_EQ(log.Lines().size() - before, 6u);
  EXPECT_EQ(job.FramePixelFormat, AV_PIX_FMT_NONE);
}

// With no norm and no frame rate, the inputs already opened decide.
TEST(LibraryOptions, TargetNormFromAnOpenedInput) {
  testsupport::TempDir dir;
  const std::string clip = dir.str() + "/pal.mkv";
  const std::string command =
      "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 "
      "-frames:v 3 -c:v mpeg4 '" +
      clip + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  AVFormatContext* raw = nullptr;
  ASSERT_EQ(avformat_open_input(&raw, clip.c_str(), nullptr, nullptr), 0);
  engine::FormatContextPtr input(raw);
  ASSERT_GE(avformat_find_stream_info(input.get(), nullptr), 0);
  TCustomFFmpeg job;
  job.InputFiles.push_back(std::move(input));
  job.SetOption("target", "dv");  // the option's fallback is NTSC
  EXPECT_EQ(job.FrameHeight, 576);
  EXPECT_EQ(job.FrameRate.num, 25);
}
