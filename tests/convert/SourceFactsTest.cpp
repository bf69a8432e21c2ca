// The input facts read from real media made by the ffmpeg program, and from broken input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "convert/FormatCatalogue.h"
#include "convert/OutputOptionBuilder.h"
#include "decoder/FFDecoder.h"
#include "enginebase/LibraryBinding.h"

namespace convert {
namespace {

std::string makeMedia(const testsupport::TempDir& dir, const std::string& name,
                      const std::vector<std::string>& arguments) {
  const std::string path = dir.str() + "/" + name;
  std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(path);
  const testsupport::ProcessResult result = testsupport::RunProcess(argv);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return path;
}

class SourceFactsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine::LoadEngineLibraries("lib")) << engine::LastLoadError();
  }
  testsupport::TempDir dir_;
};

TEST_F(SourceFactsTest, AudioOnlyFileGivesItsBitRateToWmaLossless) {
  // 16-bit stereo PCM at 44100 Hz: 44100 * 2 * 16 bit/s.
  const std::string wav =
      makeMedia(dir_, "tone.wav",
                {"-f", "lavfi", "-i", "sine=frequency=440:duration=2:sample_rate=44100", "-ac", "2",
                 "-c:a", "pcm_s16le"});
  engine::TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(wav)) << decoder.LastErrorMessage();
  const SourceFacts facts = ReadSourceFacts(decoder);
  EXPECT_EQ(facts.AudioBitrate, 1411200);
  EXPECT_EQ(facts.Width, -1);
  EXPECT_EQ(facts.Height, -1);
  EXPECT_EQ(facts.AspectRatio, -1.0f);
  EXPECT_NEAR(static_cast<double>(facts.Duration), 2e6, 1e5);
  // Asking only for streams the file has leaves no error behind.
  EXPECT_TRUE(decoder.LastErrorMessage().empty()) << decoder.LastErrorMessage();

  app::AppSettings settings;
  settings.OutputFormatClass = fcAudio;
  settings.OutputAudioFormat = afWMA;
  settings.OutputWMAPreset = 4;
  settings.OutputFileDir = dir_.str();
  const engine::TOutputOptions options =
      BuildOutputOptions(settings, decoder.FileName(), facts, BuildMode::PerFile);
  EXPECT_EQ(options.AudioBitrate, 1411200);
  EXPECT_EQ(options.FileName, dir_.str() + "/tone.wma");
  const engine::TInputOptions input = BuildInputOptions(decoder.FileName());
  EXPECT_EQ(input.FileName, wav);
}

TEST_F(SourceFactsTest, VideoOnlyFileGivesSizeAndAspect) {
  const std::string avi =
      makeMedia(dir_, "clip.avi",
                {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1", "-c:v", "mpeg4"});
  engine::TFFDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(avi)) << decoder.LastErrorMessage();
  const SourceFacts facts = ReadSourceFacts(decoder);
  EXPECT_EQ(facts.AudioBitrate, -1);
  EXPECT_EQ(facts.Width, 160);
  EXPECT_EQ(facts.Height, 120);
  EXPECT_NEAR(facts.AspectRatio, 4.0 / 3.0, 1e-5);
  EXPECT_NEAR(static_cast<double>(facts.Duration), 1e6, 2e5);
  EXPECT_TRUE(decoder.LastErrorMessage().empty()) << decoder.LastErrorMessage();
}

TEST_F(SourceFactsTest, BrokenOrMissingInputGivesNoFacts) {
  const std::string junk = dir_.write("junk.mp4", std::string(4096, '\x5a')).string();
  for (const std::string& path : {junk, dir_.str() + "/missing.avi"}) {
    engine::TFFDecoder decoder;
    EXPECT_FALSE(decoder.LoadFile(path)) << path;
    EXPECT_FALSE(decoder.LastErrorMessage().empty()) << path;
    const SourceFacts facts = ReadSourceFacts(decoder);
    EXPECT_EQ(facts.AudioBitrate, -1);
    EXPECT_EQ(facts.Width, -1);
    EXPECT_EQ(facts.Height, -1);
    EXPECT_EQ(facts.Duration, -1);
  }
}

}  // namespace
}  // namespace convert
