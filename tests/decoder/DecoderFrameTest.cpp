// Seeking and decoding pictures: the thumbnail frame matches what the ffmpeg program decodes
// at the same time, every frame is reached up to the end, still images and odd sizes.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "decoder/FFDecoder.h"
#include "decoder/Thumbnail.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

using namespace engine;

namespace {

class DecoderFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    ASSERT_TRUE(LoadEngineLibraries("lib")) << LastLoadError();
    logger_ = std::make_unique<TFFLogger>();
    logger_->SetLogLevel(llInfo);
    logger_->OnLog = [this](const void*, uint32_t, TLogLevel level, const std::string& text) {
      logged_.push_back({level, text});
    };
  }
  void TearDown() override { logger_.reset(); }
  int count(TLogLevel level, const std::string& text) const {
    int n = 0;
    for (const auto& l : logged_) n += l.first == level && l.second == text;
    return n;
  }
  std::unique_ptr<TFFLogger> logger_;
  std::vector<std::pair<TLogLevel, std::string>> logged_;
};

// The frame ffmpeg decodes at `seconds`, as bottom-up-free BGR24 rows.
std::string ffmpegFrame(const std::string& path, double seconds, const std::string& out) {
  char at[32];
  std::snprintf(at, sizeof at, "%.6f", seconds);
  const std::string command = "ffmpeg -nostdin -v error -y -i '" + path + "' -ss " + at +
                              " -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + out + "'";
  if (!fixtures::Run(command)) return {};
  return testsupport::ReadFile(out);
}

double meanDifference(const TBitmap& bitmap, const std::string& topDownBgr) {
  const int rowBytes = bitmap.Width * 3;
  double sum = 0;
  for (int y = 0; y < bitmap.Height; ++y)
    for (int x = 0; x < rowBytes; ++x)
      sum +=
          std::abs(int(bitmap.Row(y)[x]) - int(static_cast<uint8_t>(topDownBgr[y * rowBytes + x])));
  return sum / (double(rowBytes) * bitmap.Height);
}

TEST_F(DecoderFrameTest, ThumbnailAtHalfTheDurationIsTheFrameFfmpegDecodesThere) {
  for (const char* name : {"av.mp4", "video.mkv", "multiaudio.mkv"}) {
    SCOPED_TRACE(name);
    const std::string path = fixtures::Media(name);
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(path));
    TFileStreamInfo file;
    decoder.GetFileStreamInfo(file);
    ASSERT_GT(file.Duration, 0);
    ASSERT_TRUE(decoder.Seek(0, file.Duration / 2));
    ASSERT_TRUE(decoder.DecodeVideoFrame(decoder.FirstVideoStream()));
    EXPECT_GE(decoder.PicturePTS(), 0);
    EXPECT_LT(decoder.PicturePTS(), file.Duration);
    TBitmap bitmap;
    ASSERT_TRUE(decoder.PictureToBitmap(bitmap));
    TVideoStreamInfo v;
    decoder.GetVideoStreamInfo(-1, v);
    ASSERT_EQ(bitmap.Width, v.Width);
    ASSERT_EQ(bitmap.Height, v.Height);
    EXPECT_EQ(bitmap.BitsPerPixel, 24);
    testsupport::TempDir dir;
    const std::string reference =
        ffmpegFrame(path, decoder.PicturePTS() / 1e6, (dir.path() / "frame.raw").string());
    ASSERT_EQ(reference.size(), static_cast<size_t>(v.Width * v.Height * 3));
    EXPECT_LT(meanDifference(bitmap, reference), 3.0);
  }
}

TEST_F(DecoderFrameTest, EveryFrameIsDecodedUpToTheEnd) {
  // Decoders hold back pictures (B-pictures, threads): the last ones come out only when
  // the decoder is drained at the end of the file.
  const struct {
    const char* name;
    bool timestamps;  // a raw elementary stream carries none
  } cases[] = {{"raw.h264", false}, {"av.mp4", true}, {"video.mkv", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = fixtures::Media(c.name);
    auto probe = fixtures::Probe(path, "stream=nb_read_frames -count_frames -select_streams v:0");
    const int expected = std::stoi(probe["streams.stream.0.nb_read_frames"]);
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(path));
    int frames = 0;
    int64_t last = -1;
    bool increasing = true, allUnknown = true;
    while (decoder.DecodeVideoFrame(-1)) {
      ++frames;
      increasing = increasing && decoder.PicturePTS() > last;
      allUnknown = allUnknown && decoder.PicturePTS() == -1;
      last = decoder.PicturePTS();
      ASSERT_LT(frames, expected + 10);
    }
    EXPECT_EQ(frames, expected);
    if (c.timestamps)
      EXPECT_TRUE(increasing);
    else
      EXPECT_TRUE(allUnknown);
    EXPECT_TRUE(decoder.EndOfFile());
    EXPECT_FALSE(decoder.DecodeVideoFrame(-1));
    EXPECT_GE(count(llInfo, "stream eof reached."), 2);
    // Back to the start: the first picture again.
    ASSERT_TRUE(decoder.Seek(0, 0)) << decoder.LastErrorMessage();
    ASSERT_TRUE(decoder.DecodeVideoFrame(-1));
    EXPECT_EQ(decoder.PicturePTS(), c.timestamps ? 0 : -1);
    int again = 1;
    while (decoder.DecodeVideoFrame(-1)) ++again;
    EXPECT_EQ(again, expected) << "all frames again after going back";
  }
}

TEST_F(DecoderFrameTest, StillImageDecodesOnceAndCannotSeek) {
  const std::string path = fixtures::Media("still.png");
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(path, "image2"));
  EXPECT_EQ(decoder.FormatName(), "image2");
  ASSERT_TRUE(decoder.DecodeVideoFrame(-1));
  const int64_t position = decoder.PictureBytePosition();
  EXPECT_TRUE(decoder.DecodeVideoFrame(-1)) << "the picture stays";
  EXPECT_TRUE(decoder.DecodeVideoFrame(-1));
  EXPECT_EQ(decoder.PictureBytePosition(), position) << "nothing more was read";
  EXPECT_FALSE(decoder.Seek(0, 0));
  EXPECT_EQ(count(llInfo, "\"image2\" format cannot to be seeked."), 1);
  TBitmap bitmap;
  ASSERT_TRUE(decoder.PictureToBitmap(bitmap));
  EXPECT_EQ(bitmap.Width, 64);
  EXPECT_EQ(bitmap.Height, 48);
}

TEST_F(DecoderFrameTest, OddSizedPictureBecomesAPaddedBitmap) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("odd.mkv")));
  ASSERT_TRUE(decoder.DecodeVideoFrame(-1));
  TBitmap bitmap;
  ASSERT_TRUE(decoder.PictureToBitmap(bitmap));
  EXPECT_EQ(bitmap.Width, 161);
  EXPECT_EQ(bitmap.Height, 121);
  EXPECT_EQ(bitmap.RowBytes(), 484);
  EXPECT_FALSE(decoder.Converter().UsesCallerPicture());
  testsupport::TempDir dir;
  const std::string reference =
      ffmpegFrame(fixtures::Media("odd.mkv"), 0, (dir.path() / "frame.raw").string());
  ASSERT_EQ(reference.size(), 161u * 121u * 3u);
  EXPECT_LT(meanDifference(bitmap, reference), 3.0);
}

TEST_F(DecoderFrameTest, SeekingPastTheEndDoesNotInventAPicture) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("av.mp4")));
  const bool sought = decoder.Seek(0, 3600LL * 1000000);
  if (!sought) {
    EXPECT_TRUE(decoder.LastErrorMessage() == "could not seek to position 3600.000 seconds" ||
                decoder.EndOfFile())
        << decoder.LastErrorMessage();
  } else {
    EXPECT_FALSE(decoder.DecodeVideoFrame(-1));
  }
  EXPECT_FALSE(decoder.PictureReady());
  // The file is still usable.
  ASSERT_TRUE(decoder.Seek(0, 0));
  EXPECT_TRUE(decoder.DecodeVideoFrame(-1));
}

TEST_F(DecoderFrameTest, SwitchingStreamsAndWrongStreams) {
  TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(fixtures::Media("multiaudio.mkv")));
  EXPECT_FALSE(decoder.DecodeVideoFrame(1));
  EXPECT_EQ(decoder.LastErrorMessage(), "stream #1 is not video stream.");
  EXPECT_FALSE(decoder.DecodeVideoFrame(7));
  EXPECT_EQ(decoder.LastErrorMessage(), "stream index #7 is invalid.");
  ASSERT_TRUE(decoder.DecodeVideoFrame(0));
  EXPECT_EQ(decoder.PacketStreamIndex(), 0);
}

}  // namespace

namespace {

TEST_F(DecoderFrameTest, ThumbnailOfTheTaskList) {
  const struct {
    const char* name;
    int64_t at;
    bool ok;
    int width;
    const char* error;
  } cases[] = {
      {"av.mp4", -1, true, 320, ""},
      {"av.mp4", 3900000, true, 320, ""},  // after the last key picture
      {"raw.h264", -1, true, 176, ""},     // no duration: the start
      {"audio.mp3", -1, false, 0, "no video stream."},
      {"odd.mkv", 0, true, 161, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(fixtures::Media(c.name)));
    TBitmap bitmap;
    EXPECT_EQ(GrabThumbnail(decoder, bitmap, c.at), c.ok);
    if (c.ok) {
      EXPECT_EQ(bitmap.Width, c.width);
      EXPECT_EQ(bitmap.BitsPerPixel, 24);
    } else {
      EXPECT_EQ(decoder.LastErrorMessage(), c.error);
    }
  }
  // Half the duration by default: the same picture as seeking there by hand.
  TFFDecoder byHand, grabbed;
  ASSERT_TRUE(byHand.LoadFile(fixtures::Media("av.mp4")));
  ASSERT_TRUE(grabbed.LoadFile(fixtures::Media("av.mp4")));
  TFileStreamInfo info;
  byHand.GetFileStreamInfo(info);
  ASSERT_TRUE(byHand.Seek(0, info.Duration / 2));
  ASSERT_TRUE(byHand.DecodeVideoFrame(byHand.FirstVideoStream()));
  TBitmap a, b;
  ASSERT_TRUE(byHand.PictureToBitmap(a));
  ASSERT_TRUE(GrabThumbnail(grabbed, b));
  EXPECT_EQ(byHand.PicturePTS(), grabbed.PicturePTS());
  EXPECT_EQ(a.Pixels, b.Pixels);
}

}  // namespace

namespace {

TEST_F(DecoderFrameTest, DecodersOnSeveralThreadsAtOnce) {
  // Codec opening and closing is serialised by the engine's codec lock; the decoders' log
  // lines reach this (main) thread while their threads wait.
  logger_->SetLogLevel(llDebug);
  const std::string path = fixtures::Media("av.mp4");
  constexpr int kThreads = 4;
  std::vector<TBitmap> bitmaps(kThreads);
  std::vector<bool> ok(kThreads, false);
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        TFFDecoder decoder;
        ok[t] = decoder.LoadFile(path) && GrabThumbnail(decoder, bitmaps[t]);
        if (!ok[t]) break;
      }
      ++finished;
    });
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return finished == kThreads; },
                                                 std::chrono::seconds(120)));
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(ok[t]) << t;
    EXPECT_EQ(bitmaps[t].Pixels, bitmaps[0].Pixels) << t;
  }
  int pictureLines = 0;
  for (const auto& l : logged_) pictureLines += l.second.rfind("decode PTS: ", 0) == 0;
  EXPECT_EQ(pictureLines, kThreads * 3) << "one debug line per picture of every worker";
}

}  // namespace
