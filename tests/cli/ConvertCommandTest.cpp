// wizconv-cli convert on clips made by the ffmpeg program, checked with ffprobe.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "ConversionSupport.h"
#include "TestSupport.h"
#include "convert/FormatCatalogue.h"
#include "convert/PresetTable.h"
#include "engine/OptionRecords.h"

using conversiontest::DecodeErrors;
using conversiontest::MakeMedia;
using conversiontest::Probe;
using conversiontest::StreamsOf;
using testsupport::ProgramPath;
using testsupport::RunProcess;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Convert(std::vector<std::string> words) {
  words.insert(words.begin(), {ProgramPath("wizconv-cli"), "convert"});
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

double Duration(const QJsonObject& probe) {
  return probe["format"].toObject()["duration"].toString().toDouble();
}

// A small clip with both kinds of stream: 1 s of 160x120 at 25 fps, 44.1 kHz stereo.
std::vector<std::string> ClipArgs(double seconds, const std::string& size = "160x120",
                                  int rate = 25) {
  const std::string d = std::to_string(seconds);
  return {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=" + std::to_string(rate) +
                                   ":duration=" + d,
          "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=" + d,
          "-ac", "2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-b:a", "128k",
          "-shortest"};
}

// ffprobe's codec name for an encoder the presets name.
QString CodecOf(const std::string& encoder) {
  static const std::map<std::string, std::string> names = {
      {"libx264", "h264"}, {"libmp3lame", "mp3"}, {"libfaac", "aac"}, {"libvorbis", "vorbis"},
      {"libtheora", "theora"}};
  const auto it = names.find(encoder);
  return QString::fromStdString(it == names.end() ? encoder : it->second);
}

// Sample rates of the encoders that accept only some; the engine takes the nearest of
// these for a rate that is not among them.
const std::map<QString, std::vector<int>>& SampleRateLists() {
  static const std::map<QString, std::vector<int>> lists = {
      {"aac", {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000,
               7350}},
      {"mp3", {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000}},
      {"mp2", {44100, 48000, 32000, 22050, 24000, 16000}},
      {"ac3", {48000, 44100, 32000}},
  };
  return lists;
}

double RateOf(const QString& text) {
  const auto parts = text.split('/');
  if (parts.size() != 2 || parts[1].toDouble() == 0) return 0;
  return parts[0].toDouble() / parts[1].toDouble();
}

double RateOf(const std::string& text) {
  if (text.find('/') != std::string::npos) return RateOf(QString::fromStdString(text));
  return std::stod(text);
}

}  // namespace

TEST(ConvertCommand, ListShowsEveryClassFormatAndPreset) {
  const auto r = RunProcess(Convert({"--list"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Preset counts of every format, in catalogue order.
  const std::vector<std::pair<std::string, int>> formats = {
      {"AVI", 29},  {"MP4", 19},    {"FLV", 5},        {"SWF", 5},         {"MPEG", 14},
      {"RM", 5},    {"WMV", 18},    {"MOV", 10},       {"3GP", 5},         {"iPod", 10},
      {"iPhone", 3}, {"AppleTV", 3}, {"PSP", 3},        {"BlackBerry", 3},  {"MobilePhone", 4},
      {"iPad", 3},  {"Android", 3}, {"WAV", 5},        {"MP3", 4},         {"WMA", 5},
      {"OGG", 5},   {"AAC", 5},     {"M4A", 2},        {"FLAC", 9},        {"MP2", 3}};
  const auto lines = Lines(r.out);
  for (const auto& [name, count] : formats) {
    SCOPED_TRACE(name);
    auto at = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind("  " + name + " (", 0) == 0; });
    ASSERT_NE(at, lines.end()) << r.out;
    int presets = 0;
    for (++at; at != lines.end() && at->rfind("    ", 0) == 0; ++at) ++presets;
    EXPECT_EQ(presets, count);
  }
  for (const char* text : {"video (视频)", "device (设备)", "audio (音频)",
                           "iPod经典经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)",
                           " 4: WMA Losslesss音频", "*3: 苹果iPhone/iTouch - (H.264,640x420)"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  }
}

TEST(ConvertCommand, BadArgumentsExitTwoWithTheReason) {
  const std::string clip = "a.mp4";  // never opened: the arguments are refused first
  struct Case {
    std::vector<std::string> words;
    std::string reason;
  };
  const Case cases[] = {
      {{clip}, "--format is missing"},
      {{"--format", "MP4"}, "no input file"},
      {{"--format", "MKV", clip}, "unknown format 'MKV'"},
      {{"--class", "audio", "--format", "AVI", clip}, "unknown format 'AVI' in class audio"},
      {{"--class", "films", "--format", "AVI", clip}, "unknown class 'films'"},
      {{"--format", "mp3", "--preset", "4", clip}, "MP3 has the presets 0 to 3"},
      {{"--format", "mp3", "--preset", "x", clip}, "--preset needs a preset number"},
      {{"--format", "mp3", "--fast", clip}, "unknown option --fast"},
      {{"--format"}, "--format needs a value"},
      {{"--format", "mp3", "--jobs", "0", clip}, "--jobs needs a number of jobs"},
      {{"--format", "mp3", "--jobs", "two", clip}, "--jobs needs a number of jobs"},
      {{"--format", "mp3", "--jobs", "-1", clip}, "--jobs needs a number of jobs"},
      {{"--format", "mp3", clip, "--jobs"}, "--jobs needs a value"},
  };
  for (const Case& c : cases) {
    const auto r = RunProcess(Convert(c.words));
    EXPECT_EQ(r.exitCode, 2) << c.reason;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// Every preset of every format converts a clip with audio and video; ffprobe finds what
// the preset asks for, or the nearest rate an encoder accepts, or an installed encoder in
// place of a container's missing default.
TEST(ConvertCommand, EveryPresetOfEveryFormatGivesWhatItAsksFor) {
  testsupport::TempDir dir;
  const std::string clip = MakeMedia(dir, "clip.mp4", ClipArgs(1.0));
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  // Codecs the engine chooses when a preset names none: the container's default.
  const std::map<std::string, std::string> defaultVideo = {{".flv", "flv1"}, {".swf", "flv1"}};
  const std::map<std::string, std::string> defaultAudio = {
      {".flv", "mp3"}, {".swf", "mp3"}, {".rm", "ac3"}, {".m4a", "aac"}, {".mp2", "mp2"}};
  // What ffprobe calls each container.
  const std::map<std::string, std::string> containers = {
      {".avi", "avi"}, {".mp4", "mp4"}, {".flv", "flv"},  {".swf", "swf"},   {".mpg", "mpeg"},
      {".rm", "rm"},   {".wmv", "asf"}, {".mov", "mov"},  {".3gp", "3gp"},   {".wav", "wav"},
      {".mp3", "mp3"}, {".wma", "asf"}, {".ogg", "ogg"},  {".aac", "aac"},   {".m4a", "m4a"},
      {".flac", "flac"}, {".mp2", "mp3"}};
  std::set<std::string> substitutions, warnings;
  int converted = 0;
  for (const convert::FormatInfo& format : convert::Catalogue()) {
    for (int preset = 0; preset < format.PresetCount(); ++preset) {
      const std::string label = std::string(format.name) + " preset " + std::to_string(preset);
      SCOPED_TRACE(label);
      engine::TOutputOptions asked;
      asked.Reset();
      convert::SourceFacts facts;
      convert::ApplyPresetTable(asked, format.formatClass, format.code, preset,
                                convert::BuildMode::PerFile, facts);
      const std::string ext(format.extension);
      const std::string file = (out / ("clip" + ext)).string();
      // Removed after each case, so the next one gets the same name.
      struct Remover {
        std::string path;
        ~Remover() { fs::remove(path); }
      } remover{file};
      const auto r = RunProcess(Convert({"--format", std::string(format.name), "--preset",
                                         std::to_string(preset), "--out", out.string(), clip}));
      // Progress lines and the run's closing counts are no warnings.
      for (const std::string& line : Lines(r.err))
        if (line.find("[") != 0 && line != "wizconv-cli convert: 1 total, 1 succeeded, 0 failed")
          warnings.insert(std::string(format.name) + ": " + line);
      // A failing preset is reported and the table goes on, so one run shows them all.
      if (r.exitCode != 0) {
        ADD_FAILURE() << "exit " << r.exitCode << "\n" << r.err;
        continue;
      }
      EXPECT_EQ(Lines(r.out), std::vector<std::string>{file});
      const QJsonObject probe = Probe(file);
      if (probe.isEmpty()) {
        ADD_FAILURE() << "ffprobe cannot read " << file;
        continue;
      }
      ++converted;
      EXPECT_TRUE(probe["format"].toObject()["format_name"].toString().split(',').contains(
          QString::fromStdString(containers.at(ext))))
          << probe["format"].toObject()["format_name"].toString().toStdString();
      // SWF carries no duration: its video frames at the asked rate tell it instead.
      double seconds = Duration(probe);
      if (ext == ".swf") {
        const auto frames = StreamsOf(Probe(file, true), "video");
        const std::string rate = asked.FrameRate.empty() ? "25" : asked.FrameRate;
        if (!frames.empty())
          seconds = frames[0]["nb_read_packets"].toString().toDouble() / RateOf(rate);
      }
      EXPECT_NEAR(seconds, 1.0, 0.25);

      // Video: none for the audio class; else the asked codec, size and rate.
      const auto video = StreamsOf(probe, "video");
      if (format.formatClass == convert::fcAudio) {
        EXPECT_TRUE(video.empty());
      } else {
        if (video.size() != 1u) {
          ADD_FAILURE() << video.size() << " video streams";
          continue;
        }
        const QJsonObject& v = video[0];
        std::string codec = asked.VideoCodec;
        int width = 160, height = 120;
        std::string rate = asked.FrameRate.empty() ? "25" : asked.FrameRate;
        const bool pal = asked.TargetNorm == 1;
        if (asked.Target == 1) {
          codec = codec.empty() ? "mpeg1video" : codec;
          width = 352;
          height = pal ? 288 : 240;
        } else if (asked.Target == 2 || asked.Target == 3) {
          codec = codec.empty() ? "mpeg2video" : codec;
          width = asked.Target == 2 ? 480 : 720;
          height = pal ? 576 : 480;
        }
        if (codec.empty()) codec = defaultVideo.at(ext);
        if (!asked.FrameSize.empty()) {
          ASSERT_EQ(std::sscanf(asked.FrameSize.c_str(), "%dx%d", &width, &height), 2);
        }
        EXPECT_EQ(v["codec_name"].toString(), CodecOf(codec));
        EXPECT_EQ(v["width"].toInt(), width);
        EXPECT_EQ(v["height"].toInt(), height);
        const double want = RateOf(rate);
        const double real = RateOf(v["r_frame_rate"].toString());
        const double average = RateOf(v["avg_frame_rate"].toString());
        EXPECT_TRUE(std::abs(real - want) < want * 0.01 || std::abs(average - want) < want * 0.01)
            << "asked " << rate << ", r_frame_rate " << v["r_frame_rate"].toString().toStdString()
            << ", avg_frame_rate " << v["avg_frame_rate"].toString().toStdString();
      }

      // Audio: the asked codec (or the container's default), rate and channels.
      const auto audio = StreamsOf(probe, "audio");
      if (audio.size() != 1u) {
        ADD_FAILURE() << audio.size() << " audio streams";
        continue;
      }
      const QJsonObject& a = audio[0];
      const QString gotCodec = a["codec_name"].toString();
      QString codec;
      if (!asked.AudioCodec.empty()) {
        codec = CodecOf(asked.AudioCodec);
      } else if (defaultAudio.count(ext)) {
        codec = QString::fromStdString(defaultAudio.at(ext));
      } else if (ext == ".3gp") {
        // The container's own default (AMR) is not installed: an encoder it accepts is.
        EXPECT_TRUE(gotCodec == "aac" || gotCodec == "amr_nb") << gotCodec.toStdString();
        if (gotCodec != "amr_nb")
          substitutions.insert("3GP: audio codec amr_nb -> " + gotCodec.toStdString());
        codec = gotCodec;
      }
      EXPECT_EQ(gotCodec, codec);
      const int askedRate = asked.AudioSampleRate > 0 ? asked.AudioSampleRate : 44100;
      const int gotRate = a["sample_rate"].toString().toInt();
      int wantRate = askedRate;
      if (auto list = SampleRateLists().find(gotCodec); list != SampleRateLists().end() &&
          std::find(list->second.begin(), list->second.end(), askedRate) == list->second.end()) {
        wantRate = *std::min_element(list->second.begin(), list->second.end(), [&](int x, int y) {
          return std::abs(x - askedRate) < std::abs(y - askedRate);
        });
      }
      EXPECT_EQ(gotRate, wantRate) << "asked " << askedRate;
      if (wantRate != askedRate)
        substitutions.insert(label + ": " + gotCodec.toStdString() + " sample rate " +
                             std::to_string(askedRate) + " -> " + std::to_string(gotRate));
      EXPECT_EQ(a["channels"].toInt(), asked.AudioChannels > 0 ? asked.AudioChannels : 2);
    }
  }
  EXPECT_EQ(converted, 180);
  // For the record: what was substituted, and every warning the engine gave.
  for (const std::string& s : substitutions) std::cout << "substitution: " << s << "\n";
  for (const std::string& w : warnings) std::cout << "warning: " << w << "\n";
}

TEST(ConvertCommand, MergeJoinsThreeFilesAndASecondRunNumbersItsOutput) {
  testsupport::TempDir dir;
  const std::vector<std::string> inputs = {
      MakeMedia(dir, "one.mp4", ClipArgs(1.0)),
      MakeMedia(dir, "two.mkv", ClipArgs(2.0, "320x240", 30)),
      MakeMedia(dir, "three.avi", ClipArgs(1.5, "176x144", 15)),
  };
  double sum = 0;
  for (const auto& in : inputs) sum += Duration(Probe(in));
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  for (const std::string name : {"Output_Merge.mp4", "Output_Merge(1).mp4"}) {
    SCOPED_TRACE(name);
    std::vector<std::string> words = {"--format", "MP4", "--merge", "--out", out.string()};
    words.insert(words.end(), inputs.begin(), inputs.end());
    const auto r = RunProcess(Convert(words));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = (out / name).string();
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{file});
    const QJsonObject probe = Probe(file);
    ASSERT_FALSE(probe.isEmpty());
    EXPECT_NEAR(Duration(probe), sum, 0.2);
    EXPECT_EQ(DecodeErrors(file), "");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
}

TEST(ConvertCommand, TwoInputsOfTheSameNameGetNumberedOutputs) {
  testsupport::TempDir dir;
  const fs::path sub = dir.path() / "mkv";
  fs::create_directories(sub);
  const std::string avi = MakeMedia(dir, "a.avi", ClipArgs(1.0));
  const std::string mkv = MakeMedia(dir, "mkv/a.mkv", ClipArgs(2.0));
  const auto r =
      RunProcess(Convert({"--class", "audio", "--format", "mp3", "--out", dir.str(), avi, mkv}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string first = (dir.path() / "a.mp3").string();
  const std::string second = (dir.path() / "a(1).mp3").string();
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{first, second}));
  // Each output holds its own input: the names were not swapped or overwritten.
  EXPECT_NEAR(Duration(Probe(first)), 1.0, 0.1);
  EXPECT_NEAR(Duration(Probe(second)), 2.0, 0.1);

  // An input already in the target format, converted into its own folder, is not
  // overwritten: the output takes the next free name.
  const std::string before = testsupport::ReadFile(first);
  const auto again = RunProcess(Convert({"--format", "MP3", "--out", dir.str(), first}));
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(Lines(again.out), std::vector<std::string>{(dir.path() / "a(2).mp3").string()});
  EXPECT_EQ(testsupport::ReadFile(first), before);
}

TEST(ConvertCommand, BrokenFilesAreReportedAndTheGoodOnesConvert) {
  testsupport::TempDir dir;
  const std::string good1 = MakeMedia(dir, "good1.mp4", ClipArgs(1.0));
  const std::string good2 = MakeMedia(dir, "good2.mkv", ClipArgs(1.0));
  const std::string missing = (dir.path() / "missing.mp4").string();
  std::string noiseBytes(64 * 1024, '\0');
  for (size_t i = 0; i < noiseBytes.size(); ++i) noiseBytes[i] = static_cast<char>(i * 7919 >> 3);
  const std::string noise = dir.write("noise.avi", noiseBytes).string();
  // An MP4 cut in half: its index, written at the end, is gone.
  const std::string whole = MakeMedia(dir, "whole.mp4", ClipArgs(2.0));
  const std::string bytes = testsupport::ReadFile(whole);
  const std::string truncated = dir.write("truncated.mp4", bytes.substr(0, bytes.size() / 2)).string();
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);

  const auto r = RunProcess(
      Convert({"--format", "WAV", "--out", out.string(), good1, missing, noise, truncated, good2}));
  EXPECT_EQ(r.exitCode, 1);
  const std::string out1 = (out / "good1.wav").string(), out2 = (out / "good2.wav").string();
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{out1, out2}));
  for (const std::string& good : {out1, out2}) {
    EXPECT_NEAR(Duration(Probe(good)), 1.0, 0.05);
    EXPECT_EQ(DecodeErrors(good), "");
  }
  // Per file each is probed first, and the probe's failure is the log window's line.
  for (const std::string& bad : {missing, noise, truncated}) {
    EXPECT_NE(r.err.find(bad + ": 文件加载错误:"), std::string::npos)
        << bad << " not reported in\n" << r.err;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
  // Files that never became a job are not among the run's files.
  EXPECT_NE(r.err.find("wizconv-cli convert: 2 total, 2 succeeded, 0 failed\n"), std::string::npos)
      << r.err;

  // Merged, the good files are joined and the others left out and reported.
  const auto merged = RunProcess(
      Convert({"--format", "WAV", "--merge", "--out", out.string(), good1, noise, missing, good2}));
  EXPECT_EQ(merged.exitCode, 1);
  const std::string joined = (out / "Output_Merge.wav").string();
  EXPECT_EQ(Lines(merged.out), std::vector<std::string>{joined});
  EXPECT_NEAR(Duration(Probe(joined)), 2.0, 0.1);
  // Merged, files are not probed: the job refuses them.
  for (const std::string& bad : {missing, noise}) {
    EXPECT_NE(merged.err.find(bad + ": 添加文件错误:"), std::string::npos)
        << bad << " not reported in\n" << merged.err;
  }
  fs::remove(joined);

  // Nothing that converts: exit 1 and no output at all.
  const auto none = RunProcess(Convert({"--format", "WAV", "--out", out.string(), missing, noise}));
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.out, "");
}

// A file that probes fine but fails while converting (no sound for an MP3) is told with
// the engine's text in its place among the ends, and the run goes on.
TEST(ConvertCommand, FileFailingWhileConvertingIsCountedAndTheNextOneRuns) {
  testsupport::TempDir dir;
  const std::string one = MakeMedia(dir, "one.mp4", ClipArgs(1.0));
  const std::string silent = MakeMedia(dir, "silent.mp4", {"-f", "lavfi", "-i",
                                                            "testsrc=size=160x120:rate=25:duration=1",
                                                            "-c:v", "libx264", "-preset", "ultrafast"});
  const std::string three = MakeMedia(dir, "three.mp4", ClipArgs(1.0));
  const auto r = RunProcess(Convert({"--format", "MP3", "--out", dir.str(), one, silent, three}));
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{(dir.path() / "one.mp3").string(),
                                                    (dir.path() / "three.mp3").string()}));
  const std::string failure = "wizconv-cli convert: " + silent + ": ";
  const size_t at = r.err.find(failure);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_NE(r.err[at + failure.size()], '\n') << "the engine's text is missing";
  EXPECT_NE(r.err.find("wizconv-cli convert: 3 total, 2 succeeded, 1 failed\n"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir.path() / "silent.mp3"));
}

// The same batch one job at a time, two at once and as chosen: the same output lines in
// the files' order (the long first file ends last when two run), the same failure lines
// in order, the same counts and the same files.
TEST(ConvertCommand, SeveralJobsAtOnceKeepTheFilesOrderAndGiveTheSameFiles) {
  testsupport::TempDir dir;
  const std::vector<std::string> silentArgs = {
      "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-c:v", "libx264",
      "-preset", "ultrafast"};
  const std::vector<std::string> files = {
      MakeMedia(dir, "long.wav", {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=40"}),
      MakeMedia(dir, "silent1.mp4", silentArgs), MakeMedia(dir, "short.mp4", ClipArgs(1.0)),
      MakeMedia(dir, "silent2.mp4", silentArgs), MakeMedia(dir, "last.mkv", ClipArgs(0.5))};
  struct Outcome {
    std::vector<std::string> out;
    std::vector<std::string> failures;  // the per-file lines and the counts
    std::vector<std::string> probes;
  };
  std::vector<Outcome> outcomes;
  for (const char* jobs : {"1", "2", "auto"}) {
    SCOPED_TRACE(jobs);
    const fs::path out = dir.path() / (std::string("out") + jobs);
    fs::create_directories(out);
    std::vector<std::string> words = {"--format", "MP3", "--preset", "2", "--jobs", jobs,
                                      "--out", out.string()};
    words.insert(words.end(), files.begin(), files.end());
    const auto r = RunProcess(Convert(words));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    Outcome o;
    for (const std::string& line : Lines(r.out))
      o.out.push_back(fs::path(line).lexically_relative(out).string());
    for (const std::string& line : Lines(r.err)) {
      if (line.rfind("wizconv-cli convert: ", 0) == 0) o.failures.push_back(line);
    }
    for (const char* name : {"long.mp3", "short.mp3", "last.mp3"}) {
      const QJsonObject probe = Probe((out / name).string());
      QStringList parts;
      for (const QJsonObject& s : StreamsOf(probe, "audio")) {
        parts << s["codec_name"].toString() << s["sample_rate"].toString()
              << QString::number(s["channels"].toInt());
      }
      parts << probe["format"].toObject()["duration"].toString();
      o.probes.push_back(parts.join(' ').toStdString());
    }
    EXPECT_EQ(o.out, (std::vector<std::string>{"long.mp3", "short.mp3", "last.mp3"}));
    ASSERT_EQ(o.failures.size(), 3u) << r.err;
    for (int i : {0, 1}) {
      const std::string& file = files[i == 0 ? 1 : 3];
      EXPECT_EQ(o.failures[i].rfind("wizconv-cli convert: " + file + ": ", 0), 0u) << o.failures[i];
    }
    EXPECT_EQ(o.failures[2], "wizconv-cli convert: 5 total, 3 succeeded, 2 failed");
    EXPECT_NEAR(Duration(Probe((out / "long.mp3").string())), 40.0, 0.1);
    outcomes.push_back(o);
  }
  for (size_t i = 1; i < outcomes.size(); ++i) {
    EXPECT_EQ(outcomes[i].out, outcomes[0].out);
    EXPECT_EQ(outcomes[i].failures, outcomes[0].failures);
    EXPECT_EQ(outcomes[i].probes, outcomes[0].probes);
  }
}

TEST(ConvertCommand, InterruptedRunKeepsTheTrailerAndStartsNoMoreJobs) {
  testsupport::TempDir dir;
  const std::string first = MakeMedia(dir, "first.mkv", ClipArgs(12.0, "640x480"));
  const std::string second = MakeMedia(dir, "second.mkv", ClipArgs(2.0));
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  auto ready = [](const std::string& err) {
    static const std::regex line(R"(\[1/2\] first\.mkv +([0-9]+)%)");
    int last = 0;
    for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator();
         ++it)
      last = std::stoi((*it)[1]);
    return last >= 15;
  };
  bool signalled = false;
  // AVI preset 1: x264 at 1920x1080, slow enough to be caught half way.
  const auto r = conversiontest::RunAndSignal(
      Convert({"--format", "AVI", "--preset", "1", "--out", out.string(), first, second}), ready,
      SIGINT, signalled);
  ASSERT_TRUE(signalled) << r.err;
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_EQ(r.out, "");  // nothing finished
  EXPECT_TRUE(std::regex_search(r.err, std::regex(R"(\[1/2\] first\.mkv +[0-9]+%  00:00:[0-9]{2} of 00:00:12  time left [0-9]{2}:[0-9]{2}:[0-9]{2})")))
      << r.err;
  const std::string cut = (out / "first.avi").string();
  const QJsonObject probe = Probe(cut);
  ASSERT_FALSE(probe.isEmpty()) << r.err;
  EXPECT_GT(Duration(probe), 1.0);
  EXPECT_LT(Duration(probe), 11.0);
  EXPECT_EQ(DecodeErrors(cut), "");
  // The second job never ran: its output, created empty when the job was built, is gone.
  EXPECT_FALSE(fs::exists(out / "second.avi"));
}
