#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "convert/FormatCatalogue.h"
#include "convert/OutputOptionBuilder.h"

namespace convert {
namespace {

namespace fs = std::filesystem;
using engine::TOutputOptions;

app::AppSettings settingsFor(const char* formatName, int preset, const std::string& dir) {
  const FormatInfo* format = FindFormatByName(formatName);
  app::AppSettings settings;
  settings.OutputFormatClass = format->formatClass;
  settings.*CurrentFormatField(format->formatClass) = static_cast<uint8_t>(format->code);
  settings.*(format->presetField) = preset;
  settings.OutputFileDir = dir;
  return settings;
}

// The engine creates an output file as soon as a job has been given it.
void createFile(const std::string& path) { std::ofstream(path) << "x"; }

TEST(OutputOptionBuilderTest, PerFileOutputNames) {
  struct NameCase {
    const char* label;
    std::vector<std::string> existing;  // files already in the output folder
    std::string input;                  // relative names are placed in the output folder
    std::string extension;
    std::string expected;  // file name in the output folder
  };
  const std::vector<NameCase> cases = {
      {"plain", {}, "/media/a.avi", ".mp3", "a.mp3"},
      {"taken name is numbered", {"a.mp3"}, "/media/a.mkv", ".mp3", "a(1).mp3"},
      {"next free number", {"a.mp3", "a(1).mp3", "a(3).mp3"}, "/m/a.wav", ".mp3", "a(2).mp3"},
      {"input in the output folder is not overwritten", {"a.mp3"}, "a.mp3", ".mp3", "a(1).mp3"},
      {"a folder of that name counts as taken",
       {"clip.mp4/"},
       "/m/clip.avi",
       ".mp4",
       "clip(1).mp4"},
      {"no extension", {}, "/media/movie", ".mp3", "movie.mp3"},
      {"only the last extension replaced", {}, "/m/my.clip.v2.avi", ".mp3", "my.clip.v2.mp3"},
      {"dot in a folder name", {}, "/m/dir.d/clip", ".flac", "clip.flac"},
      {"upper-case extension", {}, "/m/A.AVI", ".wav", "A.wav"},
      {"Chinese name", {}, "/m/视频 一.avi", ".mp3", "视频 一.mp3"},
      {"no format: name kept", {}, "/m/a.avi", "", "a.avi"},
      {"no format: input kept safe", {"a.avi"}, "a.avi", "", "a(1).avi"},
  };
  for (const NameCase& c : cases) {
    testsupport::TempDir dir;
    const std::string folder = dir.str() + "/";
    for (const std::string& name : c.existing) {
      if (name.ends_with("/")) {
        fs::create_directory(folder + name);
      } else {
        createFile(folder + name);
      }
    }
    const std::string input = c.input.starts_with("/") ? c.input : folder + c.input;
    EXPECT_EQ(PerFileOutputName(input, c.extension, dir.str()), folder + c.expected) << c.label;
    // The folder as stored may come with or without its trailing separator.
    EXPECT_EQ(PerFileOutputName(input, c.extension, folder), folder + c.expected) << c.label;
    for (const std::string& name : c.existing) {
      if (!name.ends_with("/")) {
        EXPECT_EQ(testsupport::ReadFile(folder + name), "x") << c.label;
      }
    }
  }
}

// Two inputs with the same base name in one run: the first output exists on
// disk once its job has it, so the second gets a numbered name instead of
// overwriting it.
TEST(OutputOptionBuilderTest, SameBaseNameInOneRunGetsANumberedSecondOutput) {
  testsupport::TempDir dir;
  const app::AppSettings settings = settingsFor("MP3", 2, dir.str());
  const TOutputOptions first =
      BuildOutputOptions(settings, "/videos/a.avi", SourceFacts(), BuildMode::PerFile);
  EXPECT_EQ(first.FileName, dir.str() + "/a.mp3");
  EXPECT_EQ(first.FileExt, ".mp3");
  createFile(first.FileName);
  const TOutputOptions second =
      BuildOutputOptions(settings, "/videos/a.mkv", SourceFacts(), BuildMode::PerFile);
  EXPECT_EQ(second.FileName, dir.str() + "/a(1).mp3");
  EXPECT_EQ(second.FileExt, ".mp3");

  // Both carry the chosen preset and nothing of the other mode.
  for (const TOutputOptions& o : {first, second}) {
    EXPECT_EQ(o.AudioCodec, "libmp3lame");
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.AudioSampleRate, 48000);
    EXPECT_EQ(o.AudioBitrate, 256000);
    EXPECT_TRUE(o.DisableVideo);
    EXPECT_FALSE(o.Join);
  }
}

TEST(OutputOptionBuilderTest, PresetIndexComesFromTheSettingsOfTheCurrentFormat) {
  testsupport::TempDir dir;
  struct PresetCase {
    const char* format;
    int preset;
    int32_t audioBitrate;
    int32_t videoBitrate;
    const char* extension;
  };
  const std::vector<PresetCase> cases = {
      {"MP3", 0, 112000, -1, ".mp3"},
      {"MP3", 99, -1, -1, ".mp3"},  // out of the list: only the format's own values
      {"AVI", 17, 705000, 1200000, ".avi"},
      {"iPod", 9, 128000, 500000, ".mp4"},
      {"MPEG", 2, 224000, 4000000, ".mpg"},
  };
  for (const PresetCase& c : cases) {
    app::AppSettings settings = settingsFor(c.format, c.preset, dir.str());
    // Another format's preset must not leak in.
    settings.OutputWMAPreset = 4;
    const TOutputOptions o =
        BuildOutputOptions(settings, "/in/clip.mov", SourceFacts(), BuildMode::PerFile);
    EXPECT_EQ(o.AudioBitrate, c.audioBitrate) << c.format << " " << c.preset;
    EXPECT_EQ(o.VideoBitrate, c.videoBitrate) << c.format << " " << c.preset;
    EXPECT_EQ(o.FileExt, c.extension) << c.format;
    EXPECT_EQ(o.FileName, dir.str() + "/clip" + c.extension) << c.format;
  }
}

TEST(OutputOptionBuilderTest, MergeRecordIsJoinedAndUnnamed) {
  testsupport::TempDir dir;
  SourceFacts source;
  source.AudioBitrate = 320000;
  const TOutputOptions merge =
      BuildOutputOptions(settingsFor("WMA", 4, dir.str()), "", source, BuildMode::Merge);
  EXPECT_TRUE(merge.Join);
  EXPECT_TRUE(merge.FileName.empty());
  EXPECT_TRUE(merge.FileExt.empty());
  EXPECT_EQ(merge.AudioCodec, "wmav2");
  EXPECT_EQ(merge.AudioSampleRate, 48000);
  EXPECT_EQ(merge.AudioBitrate,
            -1);  // a joined output has no single source bit rate
  EXPECT_TRUE(merge.DisableVideo);

  const TOutputOptions perFile = BuildOutputOptions(settingsFor("WMA", 4, dir.str()),
                                                    "/in/song.flac", source, BuildMode::PerFile);
  EXPECT_EQ(perFile.AudioBitrate, 320000);
  EXPECT_FALSE(perFile.Join);
  // Building names nothing on disk by itself.
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(OutputOptionBuilderTest, MergeOutputNames) {
  testsupport::TempDir dir;
  const std::string folder = dir.str() + "/";
  EXPECT_EQ(MergeOutputName(".mp4", dir.str()), folder + "Output_Merge.mp4");
  createFile(folder + "Output_Merge.mp4");
  // A folder that already holds a joined output, or a second join in the same
  // folder.
  const std::string second = MergeOutputName(".mp4", dir.str());
  EXPECT_EQ(second, folder + "Output_Merge(1).mp4");
  // The name is the same every time it is asked for until the file is made.
  EXPECT_EQ(MergeOutputName(".mp4", folder), second);
  createFile(second);
  EXPECT_EQ(MergeOutputName(".mp4", dir.str()), folder + "Output_Merge(2).mp4");
  EXPECT_EQ(MergeOutputName(".mp3", dir.str()), folder + "Output_Merge.mp3");
  EXPECT_EQ(testsupport::ReadFile(folder + "Output_Merge.mp4"), "x");
}

// Settings that name no format (a hand-edited file, another edition's codes)
// must neither crash nor overwrite anything: the name is kept (numbered when
// taken) and no preset value is set.
TEST(OutputOptionBuilderTest, SettingsWithoutAValidFormat) {
  testsupport::TempDir dir;
  const std::string folder = dir.str() + "/";
  createFile(folder + "a.avi");

  app::AppSettings badCode = settingsFor("MP3", 2, dir.str());
  badCode.OutputAudioFormat = 200;
  TOutputOptions o =
      BuildOutputOptions(badCode, folder + "a.avi", SourceFacts(), BuildMode::PerFile);
  EXPECT_EQ(o.FileName, folder + "a(1).avi");
  EXPECT_TRUE(o.FileExt.empty());
  TOutputOptions expected;
  expected.FileName = o.FileName;
  expected.DisableVideo = true;  // still the audio class
  EXPECT_EQ(o, expected);

  app::AppSettings badClass = settingsFor("MP3", 2, dir.str());
  badClass.OutputFormatClass = 7;
  o = BuildOutputOptions(badClass, "/elsewhere/a.avi", SourceFacts(), BuildMode::Merge);
  TOutputOptions joinOnly;
  joinOnly.Join = true;
  EXPECT_EQ(o, joinOnly);
}

TEST(OutputOptionBuilderTest, InputRecordHoldsOnlyTheFileName) {
  const engine::TInputOptions input = BuildInputOptions("/media/视频 (1).avi");
  engine::TInputOptions expected;
  expected.FileName = "/media/视频 (1).avi";
  EXPECT_EQ(input, expected);
  EXPECT_TRUE(input.ForceFormat.empty());
}

TEST(OutputOptionBuilderTest, FolderAndFileNameOfAPath) {
  struct PathCase {
    std::string path, folder, name;
  };
  const std::vector<PathCase> cases = {
      {"/a/b/c.avi", "/a/b/", "c.avi"}, {"c.avi", "", "c.avi"},         {"/c.avi", "/", "c.avi"},
      {"/a/b/", "/a/b/", ""},           {"/a.d/file", "/a.d/", "file"}, {"", "", ""},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
  }
}

}  // namespace
}  // namespace convert
