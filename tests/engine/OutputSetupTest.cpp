// Setting up outputs: the container chosen from the name or a forced format, the streams
// the pending settings ask for, the settings they carry, the join rule and failure texts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "EngineMedia.h"
#include "TestSupport.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"

extern "C" {
#include <libavutil/opt.h>
}

using engine::TCustomFFmpeg;
using enginemedia::Media;
using testsupport::TempDir;

namespace {

// The media kinds of an output's streams, in order: "v", "a", "s".
std::string Kinds(const AVFormatContext* output) {
  std::string kinds;
  for (unsigned s = 0; s < output->nb_streams; ++s)
    kinds += av_get_media_type_string(output->streams[s]->codecpar->codec_type)[0];
  return kinds;
}

struct ContainerCase {
  const char* fileName;
  const char* format;  // the muxer chosen
  const char* kinds;   // with no input open: what the container takes by default
};

const ContainerCase kContainers[] = {
    {"out.avi", "avi", "va"},  {"out.mp4", "mp4", "va"},  {"out.flv", "flv", "va"},
    {"out.swf", "swf", "va"},  {"out.mpg", "mpeg", "va"}, {"out.rm", "rm", "va"},
    {"out.wmv", "asf", "va"},  {"out.mov", "mov", "va"},  {"out.3gp", "3gp", "va"},
    {"out.ogg", "ogg", "va"},  {"out.wav", "wav", "a"},   {"out.mp3", "mp3", "a"},
    {"out.wma", "asf", "va"},  {"out.aac", "adts", "a"},  {"out.m4a", "ipod", "va"},
    {"out.flac", "flac", "a"}, {"out.mp2", "mp2", "a"},
};

TEST(OutputSetup, EveryCatalogueContainerGetsItsDefaultStreamsAndAFile) {
  TempDir dir;
  for (const auto& c : kContainers) {
    SCOPED_TRACE(c.fileName);
    const auto path = dir.path() / c.fileName;
    TCustomFFmpeg job;
    ASSERT_EQ(job.OpenOutput(path.string(), false), 1) << job.LastError;
    AVFormatContext* output = job.OutputFiles[0];
    EXPECT_STREQ(output->oformat->name, c.format);
    EXPECT_EQ(Kinds(output), c.kinds);
    ASSERT_EQ(job.OutputStreamSlots.size(), output->nb_streams);
    for (unsigned s = 0; s < output->nb_streams; ++s) {
      const auto& slot = job.OutputStreamSlots[s];
      EXPECT_EQ(slot.Stream, output->streams[s]);
      EXPECT_EQ(slot.FileIndex, 0);
      EXPECT_NE(slot.Settings->codec_id, AV_CODEC_ID_NONE);
    }
    EXPECT_TRUE(std::filesystem::exists(path));  // opened for writing
    EXPECT_EQ(output->interrupt_callback.callback, engine::EngineInterruptCB().callback);
  }
}

TEST(OutputSetup, InputsLimitTheStreamsToTheKindsTheyHave) {
  struct Case {
    const char* input;
    const char* output;
    const char* kinds;
  };
  const Case cases[] = {
      {"audio.mp3", "out.mp4", "a"},  // an audio-only input gives no video stream
      {"video.mkv", "out.avi", "v"}, {"av.mp4", "out.flv", "va"},   {"av.mp4", "out.wav", "a"},
      {"av.mp4", "out.mp3", "a"},  // no cover-art stream made from a film
      {"av.mp4", "out.flac", "a"},   {"subs.mkv", "out.mkv", "vs"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " -> " + c.output);
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInput(Media(c.input))) << job.LastError;
    ASSERT_EQ(job.OpenOutput((dir.path() / c.output).string(), false), 1) << job.LastError;
    EXPECT_EQ(Kinds(job.OutputFiles[0]), c.kinds);
  }
}

TEST(OutputSetup, DisabledKindsAreLeftOutAndTheFlagsAreConsumedPerStreamKind) {
  TempDir dir;
  TCustomFFmpeg job;
  job.VideoDisable = true;
  ASSERT_EQ(job.OpenOutput((dir.path() / "a.mp4").string(), false), 1) << job.LastError;
  EXPECT_EQ(Kinds(job.OutputFiles[0]), "a");
  job.AudioDisable = true;
  job.VideoDisable = false;
  ASSERT_EQ(job.OpenOutput((dir.path() / "b.avi").string(), false), 2) << job.LastError;
  EXPECT_EQ(Kinds(job.OutputFiles[1]), "v");
  EXPECT_EQ(job.OutputStreamSlots.size(), 2u);
  EXPECT_EQ(job.OutputStreamSlots[1].FileIndex, 1);
}

TEST(OutputSetup, StreamsCarryThePendingSettingsWhichAreThenConsumed) {
  TempDir dir;
  TCustomFFmpeg job;
  job.VideoCodecName = "mpeg4";
  job.FrameWidth = 352;
  job.FrameHeight = 288;
  job.FrameRate = {30000, 1001};
  job.FrameAspectRatio = 16.0 / 9.0;
  job.FramePixelFormat = AV_PIX_FMT_YUV420P;
  job.VideoQScale = 3;
  job.IntraOnly = true;
  job.AudioCodecName = "aac";
  job.AudioSampleRate = 22050;
  job.AudioChannels = 1;
  job.VideoLanguage = "ger";
  job.AudioLanguage = "fra";
  job.StreamIdMap = {0x1e0, 0x1c0};
  job.ForcedKeyFrames = "0,1.5";
  job.VideoBitstreamFilters = {{"dump_extra", ""}};
  job.SetOption("metadata", "title=Holiday 中文");
  job.RecordingTimestamp = 1300000000;
  ASSERT_TRUE(job.SetLibraryOption("b", "800000"));
  ASSERT_EQ(job.OpenOutput((dir.path() / "out.mp4").string(), false), 1) << job.LastError;

  AVFormatContext* output = job.OutputFiles[0];
  ASSERT_EQ(Kinds(output), "va");
  const AVCodecContext* video = job.OutputStreamSlots[0].Settings.get();
  EXPECT_STREQ(job.OutputStreamSlots[0].Encoder->name, "mpeg4");
  EXPECT_EQ(video->width, 352);
  EXPECT_EQ(video->height, 288);
  EXPECT_EQ(video->time_base.num, 1001);
  EXPECT_EQ(video->time_base.den, 30000);
  EXPECT_EQ(video->pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(video->gop_size, 0);
  EXPECT_TRUE(video->flags & AV_CODEC_FLAG_QSCALE);
  EXPECT_EQ(video->global_quality, 3 * FF_QP2LAMBDA);
  EXPECT_EQ(video->bit_rate, 800000);
  EXPECT_TRUE(video->flags & AV_CODEC_FLAG_GLOBAL_HEADER);  // mp4 wants global headers
  // 16:9 on 352x288 pixels: each pixel is 16/9 * 288/352 wide.
  EXPECT_NEAR(av_q2d(video->sample_aspect_ratio), 16.0 / 9.0 * 288 / 352, 0.01);
  EXPECT_EQ(output->streams[0]->id, 0x1e0);
  EXPECT_EQ(output->streams[1]->id, 0x1c0);
  EXPECT_EQ(job.OutputStreamSlots[0].ForcedKeyFrames, "0,1.5");
  ASSERT_EQ(job.OutputStreamSlots[0].BitstreamFilters.size(), 1u);

  const AVCodecContext* audio = job.OutputStreamSlots[1].Settings.get();
  EXPECT_STREQ(job.OutputStreamSlots[1].Encoder->name, "aac");
  EXPECT_EQ(audio->sample_rate, 22050);
  EXPECT_EQ(audio->ch_layout.nb_channels, 1);
  EXPECT_EQ(audio->time_base.den, 22050);

  auto tag = [](AVDictionary* d, const char* key) {
    AVDictionaryEntry* e = av_dict_get(d, key, nullptr, 0);
    return std::string(e ? e->value : "");
  };
  EXPECT_EQ(tag(output->streams[0]->metadata, "language"), "ger");
  EXPECT_EQ(tag(output->streams[1]->metadata, "language"), "fra");
  EXPECT_EQ(tag(output->metadata, "title"), "Holiday 中文");
  EXPECT_EQ(tag(output->metadata, "creation_time"), "2011-03-13T07:06:40.000000Z");

  // Everything meant for this output is used up.
  EXPECT_TRUE(job.VideoCodecName.empty());
  EXPECT_TRUE(job.AudioCodecName.empty());
  EXPECT_TRUE(job.VideoLanguage.empty());
  EXPECT_TRUE(job.AudioLanguage.empty());
  EXPECT_TRUE(job.StreamIdMap.empty());
  EXPECT_TRUE(job.ForcedKeyFrames.empty());
  EXPECT_TRUE(job.VideoBitstreamFilters.empty());
  EXPECT_EQ(job.Metadata, nullptr);
  EXPECT_EQ(job.FramePixelFormat, AV_PIX_FMT_NONE);
}

TEST(OutputSetup, FrameRateSnapsToTheEncodersRatesUnlessForced) {
  struct Case {
    AVRational asked;
    bool force;
    AVRational timeBase;
  };
  const Case cases[] = {
      {{20, 1}, false, {1001, 24000}},  // mpeg1video knows no 20 fps: the nearest it has
      {{25, 1}, false, {1, 25}},
      {{20, 1}, true, {1, 20}},
      {{25, 0}, false, {1, 25}},  // unset: 25
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked.num);
    TCustomFFmpeg job;
    job.VideoCodecName = "mpeg1video";
    job.FrameRate = c.asked;
    job.ForceFps = c.force;
    ASSERT_EQ(job.OpenOutput((dir.path() / "out.mpg").string(), false), 1) << job.LastError;
    const AVRational timeBase = job.OutputStreamSlots[0].Settings->time_base;
    EXPECT_EQ(av_cmp_q(timeBase, c.timeBase), 0) << timeBase.num << "/" << timeBase.den;
  }
}

TEST(OutputSetup, StreamCopyTakesNoEncoder) {
  TempDir dir;
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  job.VideoStreamCopy = true;
  job.AudioStreamCopy = true;
  ASSERT_EQ(job.OpenOutput((dir.path() / "copy.mkv").string(), false), 1) << job.LastError;
  ASSERT_EQ(job.OutputStreamSlots.size(), 2u);
  for (const auto& slot : job.OutputStreamSlots) {
    EXPECT_TRUE(slot.StreamCopy);
    EXPECT_EQ(slot.Encoder, nullptr);
  }
  EXPECT_EQ(job.OutputStreamSlots[1].Settings->sample_rate, 44100);
  EXPECT_FALSE(job.VideoStreamCopy);
  EXPECT_FALSE(job.AudioStreamCopy);
}

TEST(OutputSetup, ForcedFormatWinsOverTheName) {
  TempDir dir;
  TCustomFFmpeg job;
  job.ForcedFormatName = "matroska";
  ASSERT_EQ(job.OpenOutput((dir.path() / "out.mp4").string(), false), 1) << job.LastError;
  EXPECT_STREQ(job.OutputFiles[0]->oformat->name, "matroska");
  EXPECT_TRUE(job.ForcedFormatName.empty());
}

TEST(OutputSetup, JoinedOutputIsTheOnlyOne) {
  TempDir dir;
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  ASSERT_TRUE(job.OpenInput(Media("av.mp4")));
  ASSERT_EQ(job.OpenOutput((dir.path() / "joined.mp4").string(), true), 1) << job.LastError;
  EXPECT_TRUE(job.JoinMode);
  EXPECT_EQ(job.OpenOutput((dir.path() / "second.mp4").string(), false), -1);
  EXPECT_EQ(job.LastError, "Cannot join more than one output file.");
  EXPECT_EQ(job.OutputFileCount(), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "second.mp4"));

  // Join with a single input has nothing to join: further outputs stay possible.
  TCustomFFmpeg single;
  ASSERT_TRUE(single.OpenInput(Media("av.mp4")));
  ASSERT_EQ(single.OpenOutput((dir.path() / "a.mp4").string(), true), 1);
  EXPECT_FALSE(single.JoinMode);
  EXPECT_EQ(single.OpenOutput((dir.path() / "b.mp4").string(), false), 2);
}

TEST(OutputSetup, FailuresGiveTheirTextAndLeaveTheCountsUnchanged) {
  TempDir dir;
  const std::string plainFile = (dir.path() / "plain").string();
  std::ofstream(plainFile) << "x";
  struct Case {
    std::string fileName;
    std::string forced, videoCodec, audioCodec;
    std::string error;
  };
  const std::string unknown = (dir.path() / "out.xyzzy").string();
  const std::string underFile = plainFile + "/out.mp4";
  const std::string noFolder = (dir.path() / "missing" / "out.avi").string();
  const Case cases[] = {
      {unknown, "", "", "", "Unable to find a suitable output format for '" + unknown + "'"},
      {(dir.path() / "a.mp4").string(), "no-such-muxer", "", "",
       "Requested output format 'no-such-muxer' is not a suitable output format"},
      {underFile, "", "", "", underFile + ": Not a directory"},
      {noFolder, "", "", "", noFolder + ": No such file or directory"},
      {(dir.path() / "b.mp4").string(), "", "no-such-encoder", "",
       "new_video_stream fail: Unknown encoder 'no-such-encoder'"},
      {(dir.path() / "c.mp4").string(), "", "libmp3lame", "",
       "new_video_stream fail: Invalid encoder type 'libmp3lame'"},
      {(dir.path() / "d.ogg").string(), "", "", "vorbis",
       "new_audio_stream fail: encoder 'vorbis' is experimental and might produce bad "
       "results.\r\nAdd '-strict experimental' if you want to use it.\r\nOr use the non "
       "experimental encoder 'libvorbis'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    TCustomFFmpeg job;
    ASSERT_EQ(job.OpenOutput((dir.path() / "first.mp4").string(), false), 1);
    const size_t slots = job.OutputStreamSlots.size();
    job.ForcedFormatName = c.forced;
    job.VideoCodecName = c.videoCodec;
    job.AudioCodecName = c.audioCodec;
    EXPECT_EQ(job.OpenOutput(c.fileName, false), -1);
    EXPECT_EQ(job.LastError, c.error);
    EXPECT_EQ(job.OutputFileCount(), 1);
    EXPECT_EQ(job.OutputStreamSlots.size(), slots);
    EXPECT_THROW(job.OpenOutputFile(c.fileName), engine::FFmpegException);
  }
}

TEST(OutputSetup, ExperimentalEncoderIsAcceptedWithStrictExperimental) {
  TempDir dir;
  TCustomFFmpeg job;
  ASSERT_TRUE(job.SetLibraryOption("strict", "experimental"));
  job.AudioCodecName = "vorbis";
  job.VideoDisable = true;
  ASSERT_EQ(job.OpenOutput((dir.path() / "out.ogg").string(), false), 1) << job.LastError;
  EXPECT_STREQ(job.OutputStreamSlots[0].Encoder->name, "vorbis");
}

TEST(OutputSetup, AStoppedJobOpensNoOutputFile) {
  TempDir dir;
  const std::string path = (dir.path() / "out.avi").string();
  TCustomFFmpeg job;
  job.StopRequested = true;
  EXPECT_EQ(job.OpenOutput(path, false), -1);
  EXPECT_EQ(job.LastError, path + ": Immediate exit requested");
  EXPECT_EQ(job.OutputFileCount(), 0);
  EXPECT_TRUE(job.OutputStreamSlots.empty());
  EXPECT_FALSE(std::filesystem::exists(path));
}

// An existing file is overwritten without asking, but only by a complete output: until
// then it stays as it was, also when the job is given up.
TEST(OutputSetup, AnExistingFileIsReplacedOnlyByACompleteOutput) {
  namespace fs = std::filesystem;
  TempDir dir;
  const auto path = dir.path() / "old.wav";
  const std::string before(5000, 'x');
  std::ofstream(path) << before;
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
    ASSERT_EQ(job.OpenOutput(path.string(), false), 1) << job.LastError;
    EXPECT_EQ(testsupport::ReadFile(path), before);
  }
  EXPECT_EQ(testsupport::ReadFile(path), before);
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(Media("tone.wav")));
  ASSERT_EQ(job.OpenOutput(path.string(), false), 1) << job.LastError;
  EXPECT_EQ(job.Start(false), nullptr);
  EXPECT_TRUE(job.Finished) << job.ErrorMessage;
  EXPECT_NE(testsupport::ReadFile(path).substr(0, 4), "xxxx");
  EXPECT_EQ(testsupport::ReadFile(path).substr(0, 4), "RIFF");
  // The replacement keeps the permissions of the file it replaced, and nothing else is
  // left in the folder.
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// The job's own files are never its outputs, and one file is never two of its outputs:
// the same path however it is spelled, or the same file through a link.
TEST(OutputSetup, AnOutputThatIsAnInputOrAnotherOutputIsRefused) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string in = dir.str() + "/in.wav";
  fs::copy_file(Media("tone.wav"), in);
  const std::string before = testsupport::ReadFile(in);
  fs::create_directory(dir.path() / "sub");
  fs::create_hard_link(in, dir.path() / "hard.wav");
  fs::create_symlink(in, dir.path() / "link.wav");
  const std::string folder = dir.str();
  const std::string refused = "is an input of this job and cannot be its output";
  for (const std::string& out : {in, folder + "/sub/../in.wav", "file:" + in,
                                 folder + "/hard.wav", folder + "/link.wav"}) {
    SCOPED_TRACE(out);
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInput(in));
    EXPECT_EQ(job.OpenOutput(out, false), -1);
    EXPECT_EQ(job.LastError, "'" + out + "' " + refused);
    EXPECT_EQ(job.OutputFileCount(), 0);
  }
  // Relative to the current folder, and the input given through its link.
  {
    const fs::path current = fs::current_path();
    fs::current_path(dir.path());
    TCustomFFmpeg job;
    ASSERT_TRUE(job.OpenInput("link.wav"));
    EXPECT_EQ(job.OpenOutput("in.wav", false), -1);
    EXPECT_EQ(job.LastError, "'in.wav' " + refused);
    fs::current_path(current);
  }
  EXPECT_TRUE(testsupport::ReadFile(in) == before);
  // A second output of one name, and an input that is an output already.
  TCustomFFmpeg job;
  ASSERT_TRUE(job.OpenInput(in));
  const std::string out = folder + "/out.wav";
  ASSERT_EQ(job.OpenOutput(out, false), 1) << job.LastError;
  EXPECT_EQ(job.OpenOutput(folder + "/./out.wav", false), -1);
  EXPECT_EQ(job.LastError, "'" + folder + "/./out.wav' is already an output of this job");
  EXPECT_FALSE(job.OpenInput(out));
  EXPECT_EQ(job.LastError, "'" + out + "' is an output of this job and cannot be its input");
  EXPECT_EQ(job.InputFileCount(), 1);
  EXPECT_EQ(job.OutputFileCount(), 1);
  // Other files of the folder are fine.
  EXPECT_EQ(job.OpenOutput(folder + "/other.wav", false), 2) << job.LastError;
}

TEST(OutputSetup, RateControlOverrideGroupsAreReadOrRefused) {
  struct Case {
    const char* text;
    int count;  // -1: refused
    int lastQscale;
    float lastQualityFactor;
  };
  const Case cases[] = {
      {"0,10,2", 1, 2, 1.0f}, {"0,10,2/11,20,-50", 2, 0, 0.5f},
      {"5,9,0", 1, 0, 0.0f},  {"0,10", -1, 0, 0},
      {"0,10,2/", -1, 0, 0},  {"a,b,c", -1, 0, 0},
      {"0,10,2x", -1, 0, 0},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TCustomFFmpeg job;
    job.RcOverride = c.text;
    job.VideoCodecName = "mpeg4";
    const int result = job.OpenOutput((dir.path() / "out.avi").string(), false);
    if (c.count < 0) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(job.LastError, "new_video_stream fail: error parsing rc_override");
      EXPECT_EQ(job.OutputFileCount(), 0);
      continue;
    }
    ASSERT_EQ(result, 1) << job.LastError;
    const AVCodecContext* video = job.OutputStreamSlots[0].Settings.get();
    ASSERT_EQ(video->rc_override_count, c.count);
    EXPECT_EQ(video->rc_override[c.count - 1].qscale, c.lastQscale);
    EXPECT_FLOAT_EQ(video->rc_override[c.count - 1].quality_factor, c.lastQualityFactor);
  }
}

TEST(OutputSetup, MatricesAndMuxerTimingReachTheOutput) {
  TempDir dir;
  TCustomFFmpeg job;
  job.VideoCodecName = "mpeg2video";
  job.IntraMatrix.assign(64, 16);
  job.IntraMatrix[0] = 8;
  job.InterMatrix.assign(64, 20);
  job.MuxPreload = 0.25;
  job.MuxMaxDelay = 0.4;
  ASSERT_EQ(job.OpenOutput((dir.path() / "out.mpg").string(), false), 1) << job.LastError;
  const AVCodecContext* video = job.OutputStreamSlots[0].Settings.get();
  ASSERT_NE(video->intra_matrix, nullptr);
  ASSERT_NE(video->inter_matrix, nullptr);
  EXPECT_EQ(video->intra_matrix[0], 8);
  EXPECT_EQ(video->intra_matrix[63], 16);
  EXPECT_EQ(video->inter_matrix[5], 20);
  AVFormatContext* output = job.OutputFiles[0];
  EXPECT_EQ(output->max_delay, 400000);
  int64_t preload = 0;
  ASSERT_GE(av_opt_get_int(output->priv_data, "preload", 0, &preload), 0);
  EXPECT_EQ(preload, 250000);
}

}  // namespace
