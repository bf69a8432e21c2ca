// The task list over real media made by the ffmpeg program, broken files, and the row
// actions' selection rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MediaFiles.h"
#include "TestSupport.h"
#include "convert/TaskList.h"
#include "decoder/FFDecoder.h"
#include "enginebase/LibraryBinding.h"

namespace fs = std::filesystem;

namespace convert {
namespace {

// ffprobe's answer for one entry of a file ("format=duration" -> "2.000000").
std::string probe(const std::string& path, const std::string& entry, const std::string& stream = "") {
  std::vector<std::string> argv = {"/usr/bin/ffprobe", "-v", "error"};
  if (!stream.empty()) argv.insert(argv.end(), {"-select_streams", stream});
  argv.insert(argv.end(), {"-show_entries", entry, "-of", "default=nw=1:nk=1", path});
  std::string out = testsupport::RunProcess(argv).out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

int64_t microseconds(const std::string& seconds) {
  return static_cast<int64_t>(std::llround(std::stod(seconds) * 1e6));
}

// The mean colour of a bitmap, as (blue, green, red).
std::array<int, 3> meanColour(const engine::TBitmap& b) {
  int64_t sum[3] = {0, 0, 0};
  const int bytes = b.BitsPerPixel / 8;
  for (int y = 0; y < b.Height; ++y)
    for (int x = 0; x < b.Width; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += b.Row(y)[x * bytes + c];
  const int64_t n = static_cast<int64_t>(b.Width) * b.Height;
  return {static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n), static_cast<int>(sum[2] / n)};
}

class TaskListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine::LoadEngineLibraries("lib")) << engine::LastLoadError();
  }
  engine::TFFDecoder decoder_;
  TaskList tasks_;
  testsupport::TempDir dir_;
};

TEST_F(TaskListTest, AudioAndVideoFilesInOneAddShowTheirOwnDetails) {
  const std::string audio = testsupport::Media("audio.mp3");
  const std::string video = testsupport::Media("av.mp4");
  std::vector<std::string> logged;
  tasks_.OnLoadError = [&](const std::string& t) { logged.push_back(t); };
  tasks_.AddFiles(decoder_, {audio, video});
  ASSERT_EQ(tasks_.Count(), 2);
  EXPECT_TRUE(tasks_.FailedFiles().empty());
  EXPECT_TRUE(logged.empty());

  const int64_t audioDuration = microseconds(probe(audio, "format=duration"));
  const auto& a = tasks_.Row(0).Texts;
  EXPECT_EQ(a[kColumnFileMinName], audio) << "no shortener: the full path";
  EXPECT_EQ(a[kColumnFileFullName], audio);
  char expected[64];
  std::snprintf(expected, sizeof expected, "持续时间:00:00:%02d.%03d",
                static_cast<int>(audioDuration / 1000000), static_cast<int>(audioDuration % 1000000 / 1000));
  EXPECT_EQ(a[kColumnDuration], expected);
  EXPECT_EQ(a[kColumnBitrate], "音频比特率:32 Kbps");
  EXPECT_EQ(a[kColumnDimension].rfind("音频编码器:mp3", 0), 0u) << a[kColumnDimension];
  EXPECT_EQ(a[kColumnAudioChannels], "声道:1");
  EXPECT_EQ(a[kColumnAudioSampleRate], "采样率:22050 Hz");
  EXPECT_EQ(a[kColumnAudioBitrate], "比特率:32 Kbps");
  EXPECT_EQ(a[kColumnVideoEncoder], "视频编码器:");
  EXPECT_EQ(a[kColumnFrameRate], "帧速率: 0.00");
  EXPECT_EQ(a[kColumnRealDuration], std::to_string(audioDuration));
  EXPECT_EQ(a[kColumnWidth], "-1");
  EXPECT_EQ(a[kColumnFileSize], "文件大小:" + std::to_string(fs::file_size(audio)) + " M");
  EXPECT_FALSE(tasks_.Row(0).Facts.HasVideo);
  EXPECT_TRUE(tasks_.Row(0).Facts.Thumbnail.Empty());

  const auto& v = tasks_.Row(1).Texts;
  const int64_t videoBitRate = std::stoll(probe(video, "stream=bit_rate", "v:0"));
  EXPECT_EQ(v[kColumnBitrate], "比特率:" + std::to_string(videoBitRate / 1000) + " Kbps");
  EXPECT_EQ(v[kColumnDimension], "尺寸:160 x 120");
  EXPECT_EQ(v[kColumnVideoEncoder], "视频编码器:h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
  EXPECT_EQ(v[kColumnAudioEncoder].rfind("音频编码器:aac", 0), 0u) << v[kColumnAudioEncoder];
  EXPECT_EQ(v[kColumnAudioChannels], "声道:2");
  EXPECT_EQ(v[kColumnAudioSampleRate], "采样率:44100 Hz");
  EXPECT_EQ(v[kColumnFrameRate], "帧速率: 10.00");
  EXPECT_EQ(v[kColumnRealDuration], std::to_string(microseconds(probe(video, "format=duration"))));
  EXPECT_EQ(v[kColumnWidth], "160");
  EXPECT_EQ(v[kColumnHeight], "120");
  EXPECT_EQ(v[kColumnAspectRatio], "1.3333334");

  // What the option builder reads, top to bottom.
  const std::vector<TaskInput> inputs = tasks_.Inputs();
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs[0].FileFullName, audio);
  EXPECT_EQ(inputs[0].RealDuration, audioDuration);
  EXPECT_EQ(inputs[0].Width, -1);
  EXPECT_EQ(inputs[1].FileFullName, video);
  EXPECT_EQ(inputs[1].Width, 160);
  EXPECT_EQ(inputs[1].Height, 120);
  EXPECT_FLOAT_EQ(inputs[1].AspectRatio, 160.0f / 120.0f);
  EXPECT_EQ(tasks_.FilePaths(), (std::vector<std::string>{audio, video}));
}

TEST_F(TaskListTest, ThumbnailComesFromHalfTheDurationOrTheStartWithoutOne) {
  struct Case {
    const char* file;
    bool hasDuration;
    bool blue;  // red for the first second, blue for the second
  } cases[] = {{"redblue.mp4", true, true}, {"redblue.h264", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TaskList tasks;
    tasks.AddFiles(decoder_, {testsupport::Media(c.file)});
    ASSERT_EQ(tasks.Count(), 1);
    const TaskRow& row = tasks.Row(0);
    if (c.hasDuration) {
      EXPECT_NE(row.Texts[kColumnRealDuration], "0");
    } else {
      EXPECT_EQ(row.Texts[kColumnDuration], "持续时间:持续时间不是当前");
      EXPECT_EQ(row.Texts[kColumnRealDuration], "0");
      EXPECT_EQ(tasks.Inputs()[0].RealDuration, 0);
    }
    const engine::TBitmap& thumb = row.Facts.Thumbnail;
    ASSERT_FALSE(thumb.Empty());
    EXPECT_EQ(thumb.Width, 117) << "160x120 fitted into 128x88";
    EXPECT_EQ(thumb.Height, 88);
    const auto bgr = meanColour(thumb);
    if (c.blue) {
      EXPECT_GT(bgr[0], 200);
      EXPECT_LT(bgr[2], 60);
    } else {
      EXPECT_GT(bgr[2], 200);
      EXPECT_LT(bgr[0], 60);
    }
  }
}

TEST_F(TaskListTest, WideVideoThumbnailIsStoredAtTheAreaSizeOnly) {
  tasks_.AddFiles(decoder_, {testsupport::Media("wide.mp4")});
  ASSERT_EQ(tasks_.Count(), 1);
  EXPECT_EQ(tasks_.Row(0).Facts.Thumbnail.Width, 128);
  EXPECT_EQ(tasks_.Row(0).Facts.Thumbnail.Height, 72);
  EXPECT_EQ(tasks_.Row(0).Texts[kColumnDimension], "尺寸:640 x 360");
}

TEST_F(TaskListTest, VideoWithoutBitRateSaysSo) {
  const std::string mkv = testsupport::Media("video.mkv");
  ASSERT_TRUE(decoder_.LoadFile(mkv));
  engine::TVideoStreamInfo info;
  ASSERT_TRUE(decoder_.GetVideoStreamInfo(-1, info));
  ASSERT_EQ(info.BitRate, 0) << "the fixture must carry no stream bit rate";
  decoder_.CloseFile();
  tasks_.AddFiles(decoder_, {mkv});
  ASSERT_EQ(tasks_.Count(), 1);
  EXPECT_EQ(tasks_.Text(0, kColumnBitrate), "比特率:比特率不是当前");
  EXPECT_EQ(tasks_.Text(0, kColumnAudioBitrate), "比特率:比特率不是当前") << "no audio at all";
}

TEST(BitRateText, KilobitsRoundedDownAndNothingBelowOneBit) {
  const std::pair<int64_t, const char*> cases[] = {
      {-1, "比特率不是当前"}, {0, "比特率不是当前"}, {1, "0 Kbps"},
      {999, "0 Kbps"},        {1000, "1 Kbps"},     {128999, "128 Kbps"}};
  for (const auto& [rate, text] : cases) EXPECT_EQ(BitRateText(rate), text) << rate;
}

TEST_F(TaskListTest, FilesThatCannotBeOpenedAreListedAndTheRestIsAdded) {
  const fs::path good = dir_.path() / "中文 名字 \"引号\" 'x'.mp4";
  fs::copy_file(testsupport::Media("av.mp4"), good);
  const std::string full = testsupport::ReadFile(testsupport::Media("av.mp4"));
  const fs::path empty = dir_.write("empty.mp4", "");
  const fs::path noise = dir_.write("noise.avi", std::string(4096, '\x5a'));
  const fs::path cut = dir_.write("cut short.mp4", full.substr(0, 600));
  const fs::path text = dir_.write("notes.mp3", "just some words, not sound\n");
  const fs::path removed = dir_.write("removed.mkv", full);
  fs::remove(removed);

  std::vector<std::string> logged;
  tasks_.OnLoadError = [&](const std::string& t) { logged.push_back(t); };
  const std::vector<fs::path> bad = {empty, noise, cut, text, removed};
  std::vector<std::string> paths;
  for (const fs::path& p : bad) paths.push_back(p.string());
  paths.insert(paths.begin() + 2, good.string());
  tasks_.AddFiles(decoder_, paths);

  ASSERT_EQ(tasks_.Count(), 1);
  EXPECT_EQ(tasks_.Text(0, kColumnFileFullName), good.string());
  EXPECT_EQ(tasks_.Text(0, kColumnDimension), "尺寸:160 x 120");
  ASSERT_EQ(tasks_.FailedFiles().size(), bad.size());
  EXPECT_EQ(logged, tasks_.FailedFiles());
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(bad[i]);
    EXPECT_NE(tasks_.FailedFiles()[i].find(bad[i].string()), std::string::npos)
        << "the reason names the file: " << tasks_.FailedFiles()[i];
  }
  EXPECT_FALSE(decoder_.IsOpen());

  // The next add starts a new failed-file list.
  tasks_.AddFiles(decoder_, {testsupport::Media("audio.mp3")});
  EXPECT_EQ(tasks_.Count(), 2);
  EXPECT_TRUE(tasks_.FailedFiles().empty());
  // An empty add changes nothing, not even the list of the last one.
  tasks_.AddFiles(decoder_, {noise.string()});
  tasks_.AddFiles(decoder_, {});
  EXPECT_EQ(tasks_.FailedFiles().size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Row actions, on rows made from facts alone.

class Recorder : public TaskListObserver {
 public:
  std::vector<std::string> events;
  void RowsAboutToBeInserted(int f, int l) override { add("insert", f, l); }
  void RowsInserted() override { events.push_back("inserted"); }
  void RowsAboutToBeRemoved(int f, int l) override { add("remove", f, l); }
  void RowsRemoved() override { events.push_back("removed"); }
  void RowAboutToBeMoved(int f, int t) override { add("move", f, t); }
  void RowMoved() override { events.push_back("moved"); }

 private:
  void add(const char* what, int a, int b) {
    events.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
  }
};

void addNamed(TaskList& tasks, const std::string& names) {
  for (char c : names) {
    ProbeOutcome o;
    o.Opened = true;
    o.Facts.Path = std::string(1, c);
    tasks.AddProbed(o);
  }
}

std::string order(const TaskList& tasks) {
  std::string s;
  for (const std::string& p : tasks.FilePaths()) s += p;
  return s;
}

TEST(TaskListRows, DeleteAndMovesKeepTheSelectionRules) {
  struct Case {
    const char* what;
    const char* rows;
    int selected;
    const char* rowsAfter;
    int selectedAfter;
  } cases[] = {
      {"delete", "a", 0, "", -1},        {"delete", "abc", 2, "ab", 1},
      {"delete", "abc", 1, "ac", 1},     {"delete", "abc", 0, "bc", 0},
      {"delete", "abc", -1, "abc", -1},  {"up", "abc", 0, "abc", 0},
      {"up", "abc", 2, "acb", 1},        {"up", "abc", -1, "abc", -1},
      {"down", "abc", 2, "abc", 2},      {"down", "abc", 0, "bac", 1},
      {"down", "abc", -1, "abc", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " " + c.rows + " at " + std::to_string(c.selected));
    TaskList tasks;
    addNamed(tasks, c.rows);
    int after = -2;
    if (std::string(c.what) == "delete") after = tasks.Delete(c.selected);
    if (std::string(c.what) == "up") after = tasks.MoveUp(c.selected);
    if (std::string(c.what) == "down") after = tasks.MoveDown(c.selected);
    EXPECT_EQ(order(tasks), c.rowsAfter);
    EXPECT_EQ(after, c.selectedAfter);
  }
}

TEST(TaskListRows, ObserverSeesEveryChangeBeforeAndAfter) {
  TaskList tasks;
  Recorder recorder;
  tasks.SetObserver(&recorder);
  addNamed(tasks, "abcd");
  EXPECT_TRUE(tasks.Move(0, 3));
  EXPECT_EQ(order(tasks), "bcda");
  EXPECT_TRUE(tasks.Move(3, 1));
  EXPECT_EQ(order(tasks), "bacd");
  EXPECT_FALSE(tasks.Move(0, 4));
  EXPECT_FALSE(tasks.Move(-1, 0));
  tasks.Delete(1);
  tasks.Clear();
  tasks.Clear();
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"insert 0 0", "inserted", "insert 1 1", "inserted",
                                      "insert 2 2", "inserted", "insert 3 3", "inserted",
                                      "move 0 3", "moved", "move 3 1", "moved", "remove 1 1",
                                      "removed", "remove 0 2", "removed"}));
  // Ids stay unique although rows come and go.
  addNamed(tasks, "xy");
  EXPECT_NE(tasks.Row(0).Id, tasks.Row(1).Id);
  EXPECT_GT(tasks.Row(0).Id, 4u);
}

TEST(TaskListRows, ActionStatesFollowRowsAndSelection) {
  struct Case {
    int rows, selected;
    bool del, clear, up, down, play;
  } cases[] = {{0, -1, false, false, false, false, false}, {1, -1, false, true, false, false, false},
               {1, 0, true, true, false, false, true},     {3, 0, true, true, false, true, true},
               {3, 1, true, true, true, true, true},       {3, 2, true, true, true, false, true},
               {2, 5, false, true, false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows, selected " + std::to_string(c.selected));
    const TaskActionStates s = TaskList::ActionStates(c.rows, c.selected);
    EXPECT_EQ(s.Delete, c.del);
    EXPECT_EQ(s.Clear, c.clear);
    EXPECT_EQ(s.MoveUp, c.up);
    EXPECT_EQ(s.MoveDown, c.down);
    EXPECT_EQ(s.Play, c.play);
  }
}

// ---------------------------------------------------------------------------------------
// Helpers

TEST(FitBitmap, AveragesDownToTheAreaAndKeepsProportions) {
  // Left half white, right half black, 24 bits; a 2 x 2 block pattern in the middle row.
  engine::TBitmap source;
  source.Resize(256, 176);
  for (int y = 0; y < 176; ++y)
    for (int x = 0; x < 128; ++x)
      for (int c = 0; c < 3; ++c) source.Row(y)[x * 3 + c] = 255;
  const engine::TBitmap fitted = FitBitmap(source, 128, 88);
  ASSERT_EQ(fitted.Width, 128);
  ASSERT_EQ(fitted.Height, 88);
  EXPECT_EQ(fitted.BitsPerPixel, 24);
  EXPECT_EQ(fitted.Row(0)[0], 255);
  EXPECT_EQ(fitted.Row(87)[63 * 3 + 2], 255);
  EXPECT_EQ(fitted.Row(40)[64 * 3], 0);

  // A single pixel of 200 among zeros in a 2 x 2 block averages to 50.
  engine::TBitmap dots;
  dots.Resize(4, 2);
  dots.Row(0)[0] = 200;
  const engine::TBitmap half = FitBitmap(dots, 2, 1);
  ASSERT_EQ(half.Width, 2);
  ASSERT_EQ(half.Height, 1);
  EXPECT_EQ(half.Row(0)[0], 50);
  EXPECT_EQ(half.Row(0)[3], 0);

  struct Size {
    int w, h, fw, fh;
  } sizes[] = {{1920, 1080, 128, 72}, {1080, 1920, 50, 88}, {100, 50, 100, 50},
               {4000, 10, 128, 1},    {128, 88, 128, 88}};
  for (const Size& s : sizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    for (int depth : {24, 32}) {
      engine::TBitmap b;
      b.BitsPerPixel = depth;
      b.Resize(s.w, s.h);
      const engine::TBitmap f = FitBitmap(b, 128, 88);
      EXPECT_EQ(f.Width, s.fw);
      EXPECT_EQ(f.Height, s.fh);
      EXPECT_EQ(f.BitsPerPixel, depth);
      EXPECT_EQ(f.Pixels.size(), static_cast<size_t>(f.RowBytes()) * f.Height);
    }
  }
  engine::TBitmap sixteen;
  sixteen.BitsPerPixel = 16;
  sixteen.Resize(300, 300);
  EXPECT_TRUE(FitBitmap(sixteen, 128, 88).Empty());
}

TEST(MinimizeName, FoldersGiveWayFirstThenTheName) {
  // One unit per character (UTF-8 characters count once).
  auto width = [](const std::string& s) {
    int n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
  };
  struct Case {
    const char* path;
    int max;
    const char* shown;
  } cases[] = {
      {"/home/user/clip.mp4", 40, "/home/user/clip.mp4"},
      {"/home/user/videos/clip.mp4", 25, "/.../user/videos/clip.mp4"},
      {"/home/user/videos/clip.mp4", 22, "/.../videos/clip.mp4"},
      {"/home/user/videos/clip.mp4", 17, "/.../clip.mp4"},
      {"/home/user/videos/clip.mp4", 12, ".../clip.mp4"},
      {"/home/user/videos/clip.mp4", 11, "clip.mp4"},
      {"/home/user/videos/a-very-long-name.mp4", 10, "a-very-..."},
      {"/媒体/视频/很长的中文名字.mp4", 8, "很长的中文..."},
      {"relative/dir/name.mkv", 16, ".../dir/name.mkv"},
      {"relative/dir/name.mkv", 15, ".../name.mkv"},
      {"nameonly.mkv", 6, "nam..."},
      {"x", 0, "..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + std::string(" in ") + std::to_string(c.max));
    const std::string shown = MinimizeName(c.path, c.max, width);
    EXPECT_EQ(shown, c.shown);
    if (c.max >= 3) {
      EXPECT_LE(width(shown), c.max);
    }
  }
}

}  // namespace
}  // namespace convert
