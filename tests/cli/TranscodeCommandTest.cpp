// wizconv-cli transcode on clips made by the ffmpeg program, checked with ffprobe.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <csignal>
#include <filesystem>
#include <regex>
#include <set>

#include "ConversionSupport.h"
#include "TestSupport.h"

using conversiontest::MakeMedia;
using conversiontest::Probe;
using conversiontest::StreamsOf;
using testsupport::ProgramPath;
using testsupport::RunProcess;

namespace {

std::vector<std::string> Transcode(std::vector<std::string> words) {
  words.insert(words.begin(), {ProgramPath("wizconv-cli"), "transcode"});
  return words;
}

}  // namespace

TEST(TranscodeCommand, StreamCopyOfAnMkvIntoMp4KeepsEveryPacket) {
  testsupport::TempDir dir;
  const std::string in =
      MakeMedia(dir, "in.mkv",
                {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi",
                 "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-c:v", "libx264", "-g",
                 "10", "-bf", "2", "-c:a", "aac", "-shortest"});
  const std::string out = (dir.path() / "out.mp4").string();
  const auto r = RunProcess(Transcode({"-i", in, "-o", out, "vcodec=copy", "acodec=copy"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const QJsonObject source = Probe(in, true), copy = Probe(out, true);
  ASSERT_FALSE(copy.isEmpty());
  EXPECT_TRUE(copy["format"].toObject()["format_name"].toString().contains("mp4"));
  for (const QString kind : {"video", "audio"}) {
    SCOPED_TRACE(kind.toStdString());
    const auto a = StreamsOf(source, kind), b = StreamsOf(copy, kind);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0]["codec_name"].toString(), a[0]["codec_name"].toString());
    EXPECT_GT(a[0]["nb_read_packets"].toString().toInt(), 10);
    EXPECT_EQ(b[0]["nb_read_packets"].toString(), a[0]["nb_read_packets"].toString());
  }
  EXPECT_EQ(conversiontest::DecodeErrors(out), "");
}

TEST(TranscodeCommand, OptionsBeforeAnInputApplyToItTheOthersToTheOutput) {
  testsupport::TempDir dir;
  // Raw samples open only with the format, rate and channels given before the input.
  const std::string raw = MakeMedia(dir, "tone.s16le",
                                    {"-f", "lavfi", "-i", "sine=sample_rate=8000:duration=1", "-f",
                                     "s16le", "-ac", "1"});
  const std::string out = (dir.path() / "out.wav").string();
  const auto r = RunProcess(Transcode({"f=s16le", "ar=8000", "ac=1", "-i", raw, "-o", out,
                                       "ar=22050", "ac=2"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto audio = StreamsOf(Probe(out), "audio");
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(audio[0]["sample_rate"].toString(), "22050");
  EXPECT_EQ(audio[0]["channels"].toInt(), 2);
  EXPECT_NEAR(Probe(out)["format"].toObject()["duration"].toString().toDouble(), 1.0, 0.05);
}

TEST(TranscodeCommand, JoinPutsTheInputsOneAfterAnother) {
  testsupport::TempDir dir;
  const std::string a = MakeMedia(dir, "a.mkv",
                                  {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
                                   "-f", "lavfi", "-i", "sine=duration=1", "-shortest"});
  const std::string b = MakeMedia(dir, "b.mkv",
                                  {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10:duration=2",
                                   "-f", "lavfi", "-i", "sine=duration=2", "-shortest"});
  const std::string out = (dir.path() / "joined.avi").string();
  const auto r = RunProcess(Transcode({"-i", a, "-i", b, "--join", "-o", out, "vcodec=mpeg4",
                                       "s=160x120", "r=25"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const QJsonObject probe = Probe(out);
  EXPECT_NEAR(probe["format"].toObject()["duration"].toString().toDouble(),
              Probe(a)["format"].toObject()["duration"].toString().toDouble() +
                  Probe(b)["format"].toObject()["duration"].toString().toDouble(),
              0.2);
  EXPECT_EQ(conversiontest::DecodeErrors(out), "");
}

TEST(TranscodeCommand, ARefusedOptionGivesItsTextAndExitOne) {
  testsupport::TempDir dir;
  const std::string in = MakeMedia(
      dir, "in.mkv", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1"});
  const std::string out = (dir.path() / "out.avi").string();
  struct Case {
    std::vector<std::string> words;
    std::string text;
  };
  const Case cases[] = {
      {{"-i", in, "-o", out, "nosuchoption=1"}, "Unrecognized option \"nosuchoption\""},
      {{"-i", in, "-o", out, "r=fast"}, "Incorrect frame rate"},
      {{"-i", in, "-o", out, "s=big"}, "Incorrect frame size"},
      {{"-i", in, "-o", out, "pass=3"}, "pass number can be only 1 or 2"},
      {{"ss=soon", "-i", in, "-o", out}, "无效持续时间 规范ss: soon"},
      {{"-i", (dir.path() / "missing.mkv").string(), "-o", out}, "missing.mkv"},
      // Refused once the output is being set up: no empty file is left behind.
      {{"-i", in, "-o", out, "vcodec=nosuchencoder"}, "nosuchencoder"},
      {{"-i", in, "-o", (dir.path() / "no-folder" / "x.avi").string()}, "no-folder/x.avi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto r = RunProcess(Transcode(c.words));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST(TranscodeCommand, BadArgumentsGiveTheUsageAndExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"-i", "a.mkv"},
      {"-o", "b.mp4"},
      {"-i", "a.mkv", "-o", "b.mp4", "vcodec"},
      {"-i", "a.mkv", "-o", "b.mp4", "-o", "c.mp4"},
      {"-i", "a.mkv", "-o"},
      {"-i", "a.mkv", "-o", "b.mp4", "--verbose"},
  };
  for (const auto& words : cases) {
    const auto r = RunProcess(Transcode(words));
    EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(words);
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
  }
}

TEST(TranscodeCommand, InterruptedHalfWayLeavesAFileReadToItsEnd) {
  testsupport::TempDir dir;
  const std::string in =
      MakeMedia(dir, "long.mkv",
                {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25:duration=12", "-f", "lavfi",
                 "-i", "sine=sample_rate=44100:duration=12", "-c:v", "libx264", "-preset",
                 "ultrafast", "-c:a", "aac", "-shortest"});
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const std::string out = (dir.path() / ("cut" + std::to_string(signal) + ".mp4")).string();
    // Signal once two seconds of the clip have been written.
    auto ready = [](const std::string& err) {
      static const std::regex frame("frame= *([0-9]+)");
      int last = 0;
      for (auto it = std::sregex_iterator(err.begin(), err.end(), frame);
           it != std::sregex_iterator(); ++it) {
        last = std::stoi((*it)[1]);
      }
      return last >= 50;
    };
    bool signalled = false;
    const auto r = conversiontest::RunAndSignal(
        Transcode({"-i", in, "-o", out, "vcodec=libx264", "preset=veryslow", "acodec=aac"}), ready,
        signal, signalled);
    ASSERT_TRUE(signalled) << "the run ended before two seconds were written: " << r.err;
    EXPECT_EQ(r.exitCode, 130) << r.err;
    // The MP4 index is written by the trailer: without it ffprobe reads nothing.
    const QJsonObject probe = Probe(out);
    ASSERT_FALSE(probe.isEmpty()) << "ffprobe cannot read " << out;
    const double duration = probe["format"].toObject()["duration"].toString().toDouble();
    EXPECT_GT(duration, 1.5);
    EXPECT_LT(duration, 11.0);
    EXPECT_EQ(conversiontest::DecodeErrors(out), "");
  }
}

// Writing over an input would destroy it while it is read: the job is refused before
// anything is opened for writing, however the output names the input.
TEST(TranscodeCommand, AnOutputThatIsAnInputIsRefusedAndTheInputStaysAsItWas) {
  testsupport::TempDir dir;
  const std::string in = MakeMedia(
      dir, "a.mp4", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1"});
  std::filesystem::create_directory(dir.path() / "sub");
  std::filesystem::create_hard_link(in, dir.path() / "hard.mp4");
  std::filesystem::create_symlink(in, dir.path() / "link.mp4");
  const std::string before = testsupport::ReadFile(in);
  const std::string folder = dir.str();
  const std::vector<std::string> outputs = {
      in, folder + "/sub/../a.mp4", folder + "/./a.mp4", "file:" + in,
      folder + "/hard.mp4", folder + "/link.mp4"};
  for (const std::string& out : outputs) {
    SCOPED_TRACE(out);
    const auto r = RunProcess(Transcode({"-i", in, "-o", out, "vcodec=mpeg4"}));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("is an input of this job and cannot be its output"), std::string::npos)
        << r.err;
    EXPECT_TRUE(testsupport::ReadFile(in) == before) << "the input was changed";
  }
  // An input reached through a link is refused as the link's target, too.
  const auto r = RunProcess(Transcode({"-i", folder + "/link.mp4", "-o", in, "vcodec=mpeg4"}));
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_TRUE(testsupport::ReadFile(in) == before) << "the input was changed";
  // Nothing was written beside it either.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"a.mp4", "hard.mp4", "link.mp4", "sub"}));
}

// A disk that fills up half way (here a file size limit, which fails the writes with
// "File too large"): the run fails, the broken file is not left behind, and a file that
// had the name before stays as it was.
TEST(TranscodeCommand, AFullDiskFailsTheRunAndLeavesNoBrokenFile) {
  testsupport::TempDir dir;
  const std::string in =
      MakeMedia(dir, "in.mkv",
                {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25:duration=4", "-c:v",
                 "libx264", "-preset", "ultrafast"});
  const std::string before(20000, 'k');
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "over an existing file" : "new name");
    const std::string out = (dir.path() / "out.mp4").string();
    if (existing) dir.write("out.mp4", before);
    // The limit is set in a shell that then becomes the program; the signal the limit
    // sends is ignored so that the write itself fails.
    std::vector<std::string> argv = {"/bin/bash", "-c", "trap '' XFSZ; ulimit -f 64; exec \"$@\"",
                                     "bash"};
    for (const std::string& word : Transcode({"-i", in, "-o", out, "vcodec=mpeg4", "b=4000000"}))
      argv.push_back(word);
    const auto r = RunProcess(argv);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.insert(entry.path().filename().string());
    if (existing) {
      EXPECT_EQ(names, (std::set<std::string>{"in.mkv", "out.mp4"}));
      EXPECT_TRUE(testsupport::ReadFile(out) == before) << "the old file was changed";
    } else {
      EXPECT_EQ(names, (std::set<std::string>{"in.mkv"}));
    }
  }
}
