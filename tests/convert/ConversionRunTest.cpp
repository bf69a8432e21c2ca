// The run controller without widgets, on real media made by the ffmpeg program: the
// counters, the cells of the conversion list, the time labels, the error lines, cancel,
// and the end-of-run actions in their order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "convert/BatchBuilder.h"
#include "convert/ConversionRun.h"
#include "convert/FormatCatalogue.h"
#include "core/MainThread.h"
#include "engine/FFEncoder.h"

namespace convert {
namespace {

namespace fs = std::filesystem;

std::string MakeMedia(const testsupport::TempDir& dir, const std::string& name,
                      const std::vector<std::string>& arguments) {
  const std::string path = dir.str() + "/" + name;
  std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(path);
  const testsupport::ProcessResult result = testsupport::RunProcess(argv);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return path;
}

// Video and audio, `seconds` long.
std::vector<std::string> Clip(double seconds, const std::string& size = "160x120") {
  const std::string d = std::to_string(seconds);
  return {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=25:duration=" + d,
          "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=" + d,
          "-ac", "2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest"};
}

std::vector<std::string> VideoOnly(double seconds) {
  return {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=" + std::to_string(seconds),
          "-c:v", "libx264", "-preset", "ultrafast"};
}

app::AppSettings Choice(const char* formatName, int preset, const std::string& dir) {
  const FormatInfo* format = FindFormatByName(formatName);
  return SettingsForChoice(format->formatClass, format->code, preset, dir);
}

int DefaultPreset(const char* formatName) { return FindFormatByName(formatName)->defaultPreset; }

// Records the end-of-run actions in the order they came.
class RecordingActions : public EndOfRunActions {
 public:
  void PlaySound(const std::string& file) override { calls.push_back("sound " + file); }
  bool CountDownToShutdown() override {
    calls.push_back("countdown");
    return countdownRunsOut;
  }
  void PowerOff() override { calls.push_back("poweroff"); }
  void ShowSummary(const RunSummary& summary) override {
    calls.push_back("summary " + std::to_string(summary.FileCount) + "/" +
                    std::to_string(summary.Succeeded) + "/" + std::to_string(summary.Failed));
  }
  bool countdownRunsOut = false;
  std::vector<std::string> calls;
};

// What the page saw: every callback must come on the main thread.
struct Observed {
  std::vector<std::vector<ConversionRow>> rowsAtProgress;
  std::vector<engine::TProgressInfo> progress;
  std::vector<std::string> statusSeen;  // column 2 of the row at each progress report
  std::vector<std::string> progressCellSeen;
  std::vector<int> endedTasks;
  bool offMainThread = false;
  bool ended = false;
  RunSummary summary;
};

class ConversionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(encoder_.EngineLibrariesLoaded() || encoder_.LoadEngineLibraries("lib"))
        << encoder_.LastErrorMessage();
    out_ = dir_.str() + "/out";
    fs::create_directories(out_);
  }

  void Watch(ConversionRun& run, Observed& seen) {
    auto onMain = [&seen] {
      if (!core::MainThread::IsMainThread()) seen.offMainThread = true;
    };
    run.OnRowChanged = [onMain](int) { onMain(); };
    run.OnLabelsChanged = onMain;
    run.OnProgress = [&seen, &run, onMain](const engine::TProgressInfo& info) {
      onMain();
      seen.progress.push_back(info);
      if (!run.Merge() && info.TaskIndex < static_cast<int>(run.Rows().size())) {
        seen.statusSeen.push_back(run.Rows()[info.TaskIndex][2]);
        seen.progressCellSeen.push_back(run.Rows()[info.TaskIndex][3]);
      }
    };
    run.OnJobEnded = [&seen, onMain](const engine::TTerminateInfo& info) {
      onMain();
      seen.endedTasks.push_back(info.TaskIndex);
    };
    run.OnRunEnded = [&seen, onMain](const RunSummary& summary) {
      onMain();
      seen.ended = true;
      seen.summary = summary;
    };
  }

  // Serves the main thread until the run ends (or `step` asks to stop waiting).
  bool WaitForEnd(Observed& seen, const std::function<void()>& step = nullptr) {
    return core::MainThread::WaitWhileServing(
        [&] {
          if (step) step();
          return seen.ended;
        },
        std::chrono::seconds(120));
  }

  testsupport::TempDir dir_;
  std::string out_;
  engine::TFFEncoder encoder_;
};

// Three files to MP3, the second without sound: it fails while running, the others
// convert, and the one error line names it by its job index.
TEST_F(ConversionRunTest, FailedFileInTheMiddleIsCountedAndTheRunGoesOn) {
  const std::vector<std::string> files = {MakeMedia(dir_, "one.mp4", Clip(1)),
                                          MakeMedia(dir_, "silent.mp4", VideoOnly(1)),
                                          MakeMedia(dir_, "three.mkv", Clip(1))};
  ConversionRun run(encoder_);
  run.JobsAsked = 1;  // one after another: the jobs end in their order
  RecordingActions actions;
  run.SetEndOfRunActions(&actions);
  run.PlaySoundWhenFinished = true;
  run.SoundFolder = "/sounds/";
  Observed seen;
  Watch(run, seen);

  ASSERT_TRUE(run.Build(Choice("MP3", DefaultPreset("MP3"), out_), false, files));
  // The list as built: every row waits, the path column is the input's folder.
  ASSERT_EQ(run.Rows().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(run.Rows()[i][0], fs::path(files[i]).filename().string());
    EXPECT_EQ(run.Rows()[i][1].substr(0, 8), "00:00:01") << run.Rows()[i][1];
    EXPECT_EQ(run.Rows()[i][2], "等待...");
    EXPECT_EQ(run.Rows()[i][3], "");
    EXPECT_EQ(run.Rows()[i][4], dir_.str() + "/");
  }
  EXPECT_EQ(run.ColumnCaption(2), "状态");
  EXPECT_EQ(run.ColumnCaption(3), "进展");
  EXPECT_EQ(run.CurrentFileTitle(), "当前文件:");
  EXPECT_EQ(run.FileCount(), 3);

  run.Start();
  EXPECT_TRUE(run.IsRunning());
  ASSERT_TRUE(WaitForEnd(seen));
  EXPECT_FALSE(seen.offMainThread);
  EXPECT_FALSE(run.IsRunning());

  std::vector<std::string> status;
  for (const ConversionRow& row : run.Rows()) status.push_back(row[2]);
  EXPECT_EQ(status, (std::vector<std::string>{"完成。", "失败。", "完成。"}));
  EXPECT_EQ(run.Rows()[0][3], "100%");
  EXPECT_EQ(run.Rows()[2][3], "100%");
  EXPECT_EQ(seen.endedTasks, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(seen.summary.FileCount, 3);
  EXPECT_EQ(seen.summary.Succeeded, 2);
  EXPECT_EQ(seen.summary.Failed, 1);
  ASSERT_EQ(seen.summary.Errors.size(), 1u);
  const std::string& line = seen.summary.Errors.front();
  EXPECT_EQ(line.rfind("文件 (1): ", 0), 0u) << line;
  EXPECT_GT(line.size(), std::string("文件 (1): ").size()) << "the engine's text is missing";
  EXPECT_EQ(run.TerminatedCount(), 3);
  // Only the finished jobs' media counts as done.
  EXPECT_EQ(run.DoneDuration(), run.Plan().Jobs[0].Duration + run.Plan().Jobs[2].Duration);

  // A failure plays the failure sound, then the summary; no countdown was asked for.
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"sound /sounds/fail.wav", "summary 3/2/1"}));
  // The encoder is idle and empty again, the page labels back at rest.
  EXPECT_EQ(encoder_.TasksCount(), 0);
  EXPECT_EQ(run.CurrentFile(), "...");
  EXPECT_EQ(run.ProgressPosition(), 0);
  // While a job ran its row said so and carried its percentage.
  ASSERT_FALSE(seen.statusSeen.empty());
  for (size_t i = 0; i < seen.statusSeen.size(); ++i) {
    EXPECT_EQ(seen.statusSeen[i], "正在转换...");
    EXPECT_EQ(seen.progressCellSeen[i].back(), '%') << seen.progressCellSeen[i];
  }
  EXPECT_TRUE(fs::exists(out_ + "/one.mp3"));
  EXPECT_TRUE(fs::exists(out_ + "/three.mp3"));
  EXPECT_FALSE(fs::exists(out_ + "/silent.mp3"));
}

// Cancelling while the first of three runs: the waiting two never run, all three show
// "失败。", nothing is counted as succeeded, and only a job that reports an error text
// gets an error line.
TEST_F(ConversionRunTest, CancelDuringTheFirstOfThreeFailsEveryRow) {
  std::vector<std::string> files;
  for (const char* name : {"a.mkv", "b.mkv", "c.mkv"})
    files.push_back(MakeMedia(dir_, name, Clip(8, "320x240")));
  ConversionRun run(encoder_);
  RecordingActions actions;
  run.SetEndOfRunActions(&actions);
  Observed seen;
  Watch(run, seen);
  // AVI preset 1 encodes 1920x1080 x264: slow enough to be caught in the first job.
  ASSERT_TRUE(run.StartRun(Choice("AVI", 1, out_), false, files));
  bool cancelled = false;
  ASSERT_TRUE(WaitForEnd(seen, [&] {
    if (!cancelled && !seen.progress.empty()) {
      cancelled = true;
      run.Cancel();
    }
  }));
  ASSERT_TRUE(cancelled);
  for (const engine::TProgressInfo& p : seen.progress) EXPECT_EQ(p.TaskIndex, 0);
  for (const ConversionRow& row : run.Rows()) EXPECT_EQ(row[2], "失败。") << row[0];
  EXPECT_EQ(seen.summary.FileCount, 3);
  EXPECT_EQ(seen.summary.Succeeded, 0);
  EXPECT_EQ(seen.summary.Failed, 3);
  for (const std::string& line : seen.summary.Errors) {
    EXPECT_EQ(line.rfind("文件 (0): ", 0), 0u) << "a job that never ran has an error line: " << line;
  }
  EXPECT_EQ(actions.calls, std::vector<std::string>{"summary 3/0/3"});
  EXPECT_EQ(run.DoneDuration(), 0);
}

// A raw H.264 stream has no duration: its row says "N/A" for the whole job, and the
// estimate is made from the file whose duration is known only.
TEST_F(ConversionRunTest, FileWithoutDurationShowsNotAvailableAndTheEstimateUsesTheKnownOnes) {
  const std::string raw = MakeMedia(dir_, "raw.h264", {"-f", "lavfi", "-i",
                                                       "testsrc=size=160x120:rate=25:duration=2",
                                                       "-c:v", "libx264", "-preset", "ultrafast",
                                                       "-f", "h264"});
  const std::string known = MakeMedia(dir_, "known.mp4", Clip(2));
  ConversionRun run(encoder_);
  // The elapsed time is what the test says.
  double now = 1000;
  run.Now = [&now] { return now; };
  encoder_.SetProgressInterval(100);
  Observed seen;
  Watch(run, seen);
  std::vector<std::string> estimates;
  std::vector<std::string> timesLeft;
  auto watchProgress = run.OnProgress;
  run.OnProgress = [&](const engine::TProgressInfo& info) {
    watchProgress(info);
    estimates.push_back(run.EstimatedText());
    timesLeft.push_back(run.TimeLeftText());
    now += 10;
  };
  ASSERT_TRUE(run.Build(Choice("MP4", DefaultPreset("MP4"), out_), false, {raw, known}));
  EXPECT_EQ(run.Rows()[0][1], "持续时间不是当前");
  const int64_t knownDuration = run.Plan().Jobs[1].Duration;
  ASSERT_GT(knownDuration, 1900000);
  EXPECT_EQ(run.TotalDuration(), knownDuration);
  run.Start();
  ASSERT_TRUE(WaitForEnd(seen));

  ASSERT_FALSE(seen.progress.empty());
  EXPECT_EQ(seen.progress.front().TaskIndex, 0) << "no progress of the file without duration";
  size_t firstOfKnown = seen.progress.size();
  for (size_t i = 0; i < seen.progress.size(); ++i) {
    const engine::TProgressInfo& p = seen.progress[i];
    if (p.TaskIndex == 0) {
      EXPECT_EQ(seen.progressCellSeen[i], "N/A");
      // Nothing of a known duration is done yet: no estimate.
      EXPECT_EQ(estimates[i], "-:--:--");
      EXPECT_EQ(timesLeft[i], "-:--:--");
    } else if (firstOfKnown == seen.progress.size()) {
      firstOfKnown = i;
    }
  }
  ASSERT_LT(firstOfKnown, seen.progress.size()) << "no progress of the second file";
  // known total x elapsed / done, the elapsed time counted from the run's start.
  for (size_t i = firstOfKnown; i < seen.progress.size(); ++i) {
    const engine::TProgressInfo& p = seen.progress[i];
    if (p.CurrentDuration <= 0) continue;
    const double elapsed = 10.0 * static_cast<double>(i);
    const RunTimes expected = EstimateRunTimes(knownDuration, p.CurrentDuration, elapsed);
    EXPECT_EQ(estimates[i], HourOfDayText(expected.Estimated)) << i;
    EXPECT_EQ(timesLeft[i], HourOfDayText(expected.TimeLeft)) << i;
  }
  EXPECT_EQ(run.Rows()[0][2], "完成。");
  EXPECT_EQ(run.Rows()[1][2], "完成。");
  EXPECT_EQ(seen.summary.Succeeded, 2);
}

// A second run on the same controller starts its counters at zero: its estimate is not
// made from the first run's done media, and its end actions follow its own outcome.
TEST_F(ConversionRunTest, SecondRunStartsFromZeroAndEndActionsFollowItsOutcome) {
  const std::string clip = MakeMedia(dir_, "clip.mp4", Clip(2));
  ConversionRun run(encoder_);
  RecordingActions actions;
  run.SetEndOfRunActions(&actions);
  run.SoundFolder = "/s/";
  double now = 0;
  run.Now = [&now] { return now; };
  encoder_.SetProgressInterval(100);

  struct Case {
    bool sound, shutdown, countdownRunsOut;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {false, false, false, {"summary 1/1/0"}},
      {true, true, false, {"sound /s/done.wav", "countdown", "summary 1/1/0"}},
      {false, true, true, {"countdown", "poweroff", "summary 1/1/0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.calls.size());
    actions.calls.clear();
    actions.countdownRunsOut = c.countdownRunsOut;
    run.PlaySoundWhenFinished = c.sound;
    run.ShutDownWhenFinished = c.shutdown;
    Observed seen;
    Watch(run, seen);
    std::vector<int64_t> doneAtProgress;
    std::vector<std::string> estimates;
    auto watchProgress = run.OnProgress;
    run.OnProgress = [&](const engine::TProgressInfo& info) {
      watchProgress(info);
      doneAtProgress.push_back(run.DoneDuration());
      estimates.push_back(run.EstimatedText());
    };
    now = 0;
    ASSERT_TRUE(run.StartRun(Choice("WAV", DefaultPreset("WAV"), out_), false, {clip}));
    EXPECT_EQ(run.DoneDuration(), 0);
    EXPECT_EQ(run.SucceededCount(), 0);
    now = 3600;  // an hour passes before the first report
    ASSERT_TRUE(WaitForEnd(seen));
    for (int64_t done : doneAtProgress) EXPECT_EQ(done, 0);
    for (size_t i = 0; i < seen.progress.size(); ++i) {
      const RunTimes t =
          EstimateRunTimes(run.TotalDuration(), seen.progress[i].CurrentDuration, 3600);
      EXPECT_EQ(estimates[i], RunTimeText(t.Estimated, t.EstimateKnown));
    }
    EXPECT_EQ(run.DoneDuration(), run.TotalDuration());
    EXPECT_EQ(actions.calls, c.calls);
  }
}

// A file longer than 2^31 microseconds adds its whole duration to the done media: the
// sound lasts a second, a subtitle at 36 minutes makes the file 36 minutes long.
TEST_F(ConversionRunTest, DurationPastThirtyTwoBitsIsAddedWhole) {
  const fs::path subtitles = dir_.write("late.srt", "1\n00:36:40,000 --> 00:36:41,000\nlate\n\n");
  const std::string file =
      MakeMedia(dir_, "long.mkv",
                {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:duration=1", "-i",
                 subtitles.string(), "-c:a", "pcm_s16le", "-c:s", "srt"});
  ConversionRun run(encoder_);
  Observed seen;
  Watch(run, seen);
  ASSERT_TRUE(run.StartRun(Choice("MP3", DefaultPreset("MP3"), out_), false, {file}));
  ASSERT_TRUE(WaitForEnd(seen));
  ASSERT_EQ(seen.summary.Succeeded, 1) << (seen.summary.Errors.empty() ? "" : seen.summary.Errors[0]);
  EXPECT_GT(run.Plan().Jobs[0].Duration, int64_t{2147483647});
  EXPECT_EQ(run.DoneDuration(), run.Plan().Jobs[0].Duration);
  EXPECT_EQ(run.Rows()[0][1].substr(0, 8), "00:36:41");
}

// Reports with corrupt times keep the bar and the row's cell within 0 to 100 % and the
// time labels readable: an integer current × 100 would wrap.
TEST_F(ConversionRunTest, CorruptReportTimesKeepTheProgressWithinItsScale) {
  const std::string file = MakeMedia(dir_, "short.mp4", Clip(1));
  ConversionRun run(encoder_);
  Observed seen;
  Watch(run, seen);
  ASSERT_TRUE(run.StartRun(Choice("MP3", DefaultPreset("MP3"), out_), false, {file}));
  ASSERT_TRUE(WaitForEnd(seen));
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const struct {
    int64_t current, total;
    int percent;
  } cases[] = {
      {kMax / 50, kMax, 2}, {kMax, 1000000, 100}, {-kMax, 1000000, 0}, {500000, 1000000, 50}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.current) + " of " + std::to_string(c.total));
    engine::TProgressInfo info;
    info.TaskIndex = 0;
    info.CurrentDuration = c.current;
    info.TotalDuration = c.total;
    encoder_.OnProgress(encoder_, &info);
    EXPECT_EQ(run.ProgressPosition(), c.percent);
    EXPECT_EQ(run.Rows()[0][3], std::to_string(c.percent) + "%");
  }
}

// Merge mode: one job, one row per input with its size and aspect ratio, the output path
// in every row, one file counted.
TEST_F(ConversionRunTest, MergeRunCountsOneFileWithARowPerInput) {
  const std::vector<std::string> files = {MakeMedia(dir_, "m1.mp4", Clip(1, "160x120")),
                                          MakeMedia(dir_, "m2.mp4", Clip(1, "320x180"))};
  ConversionRun run(encoder_);
  RecordingActions actions;
  run.SetEndOfRunActions(&actions);
  Observed seen;
  Watch(run, seen);
  ASSERT_TRUE(run.Build(Choice("MP4", DefaultPreset("MP4"), out_), true, files));
  EXPECT_EQ(run.ColumnCaption(2), "宽度x高度");
  EXPECT_EQ(run.ColumnCaption(3), "宽高比");
  EXPECT_EQ(run.CurrentFileTitle(), "输出文件:");
  ASSERT_EQ(run.Rows().size(), 2u);
  EXPECT_EQ(run.Rows()[0][2], "160x120");
  EXPECT_EQ(run.Rows()[0][3], "1.33333337306976");  // 4/3 as a 32-bit float
  EXPECT_EQ(run.Rows()[1][2], "320x180");
  EXPECT_EQ(run.Rows()[1][3], "1.77777779102325");
  for (const ConversionRow& row : run.Rows()) EXPECT_EQ(row[4], out_ + "/Output_Merge.mp4");
  run.Start();
  ASSERT_TRUE(WaitForEnd(seen));
  for (const engine::TProgressInfo& p : seen.progress) EXPECT_EQ(p.TaskIndex, 0);
  EXPECT_EQ(run.Rows()[0][2], "完成。");
  EXPECT_EQ(actions.calls, std::vector<std::string>{"summary 1/1/0"});
  EXPECT_TRUE(fs::exists(out_ + "/Output_Merge.mp4"));
}

// Nothing that opens: no job, nothing starts, no notification, nothing counted.
TEST_F(ConversionRunTest, BuildWithoutAnyJobStartsNothing) {
  const std::string broken = dir_.write("broken.mp4", std::string(4096, 'x')).string();
  ConversionRun run(encoder_);
  std::vector<std::string> log;
  run.OnLog = [&log](const std::string& line) { log.push_back(line); };
  Observed seen;
  Watch(run, seen);
  EXPECT_FALSE(run.StartRun(Choice("MP3", 0, out_), false, {broken, dir_.str() + "/gone.mp4"}));
  EXPECT_FALSE(run.IsRunning());
  EXPECT_TRUE(run.Rows().empty());
  ASSERT_EQ(log.size(), 2u);
  for (const std::string& line : log) EXPECT_EQ(line.rfind("文件加载错误:", 0), 0u) << line;
  EXPECT_FALSE(core::MainThread::WaitWhileServing([&] { return seen.ended; },
                                                  std::chrono::milliseconds(200)));
}

// What ffprobe reads of an output: each stream's codec, rate, channels and size, and the
// duration; empty when it cannot read the file.
std::string ProbeText(const std::string& file) {
  const testsupport::ProcessResult result = testsupport::RunProcess(
      {"/usr/bin/ffprobe", "-v", "error", "-show_entries",
       "stream=codec_name,sample_rate,channels,width,height:format=duration", "-of", "compact",
       file});
  return result.exitCode == 0 ? result.out : std::string();
}

struct RunOutcome {
  std::vector<std::string> status;  // column 2 of each row at the end
  std::vector<std::string> probes;  // of each job's output, "" when there is none
  RunSummary summary;
  std::vector<int> endedTasks;
  int jobsAtOnce = 0;
  // At reports of job 0 after job 2 had ended (job 1 fails at once, so job 0 then runs
  // alone or beside job 3): the bar's position and the run's overall progress then.
  std::vector<std::pair<int, int64_t>> overallSeen;
};

// One batch to MP3: job 0 is read at its real rate and fails halfway (its progress
// handler throws, an error the engine reports as the job's), job 1 has no sound and fails
// at once, jobs 2 and 3 convert. With two jobs at once job 0 ends last.
RunOutcome RunBatch(engine::TFFEncoder& encoder, const std::vector<std::string>& files,
                    const std::string& out, int jobs) {
  RunOutcome outcome;
  ConversionRun run(encoder);
  run.JobsAsked = jobs;
  bool ended = false;
  int64_t finishedMedia = 0;
  std::map<int, int64_t> current;  // of the jobs still running
  run.OnJobEnded = [&](const engine::TTerminateInfo& info) {
    outcome.endedTasks.push_back(info.TaskIndex);
    current.erase(info.TaskIndex);
    if (info.Finished) finishedMedia += run.Plan().Jobs[info.TaskIndex].Duration;
  };
  run.OnRunEnded = [&](const RunSummary& summary) {
    outcome.summary = summary;
    ended = true;
  };
  run.OnProgress = [&](const engine::TProgressInfo& info) {
    current[info.TaskIndex] = info.CurrentDuration;
    if (info.TaskIndex != 0) return;
    const auto& ends = outcome.endedTasks;
    if (std::find(ends.begin(), ends.end(), 2) != ends.end()) {
      int64_t done = finishedMedia;
      for (const auto& [task, reached] : current) done += reached;
      outcome.overallSeen.emplace_back(run.ProgressPosition(), done * 100 / run.TotalDuration());
    }
    if (info.CurrentDuration >= 1'500'000) throw std::runtime_error("stopped halfway by the test");
  };
  const FormatInfo* mp3 = FindFormatByName("MP3");
  EXPECT_TRUE(run.Build(SettingsForChoice(mp3->formatClass, mp3->code, 2, out), false, files));
  encoder.Task(0)->RateEmulation = true;
  run.Start();
  outcome.jobsAtOnce = run.JobsAtOnce();
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return ended; }, std::chrono::seconds(60)));
  for (const ConversionRow& row : run.Rows()) outcome.status.push_back(row[2]);
  for (const BatchJob& job : run.Plan().Jobs)
    outcome.probes.push_back(fs::exists(job.Output) ? ProbeText(job.Output) : std::string());
  return outcome;
}

// The same batch one job at a time and two at once: the same files, counts, rows and
// error lines (in job order although the jobs end in another), and with two at once the
// bar shows the run's overall progress.
TEST_F(ConversionRunTest, SeveralJobsAtOnceGiveWhatOneAtATimeGives) {
  const std::vector<std::string> files = {
      MakeMedia(dir_, "slow.mkv", Clip(3)), MakeMedia(dir_, "silent.mp4", VideoOnly(1)),
      MakeMedia(dir_, "three.wav", {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=2"}),
      MakeMedia(dir_, "four.mkv", Clip(1))};
  encoder_.SetProgressInterval(100);
  std::vector<RunOutcome> outcomes;
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    const std::string out = out_ + "/" + std::to_string(jobs);
    fs::create_directories(out);
    outcomes.push_back(RunBatch(encoder_, files, out, jobs));
    const RunOutcome& o = outcomes.back();
    EXPECT_EQ(o.jobsAtOnce, jobs);
    const std::vector<std::string> status = {"失败。", "失败。", "完成。", "完成。"};
    EXPECT_EQ(o.status, status);
    EXPECT_EQ(o.summary.FileCount, 4);
    EXPECT_EQ(o.summary.Succeeded, 2);
    EXPECT_EQ(o.summary.Failed, 2);
    ASSERT_EQ(o.summary.Errors.size(), 2u);
    EXPECT_EQ(o.summary.Errors[0], "文件 (0): stopped halfway by the test");
    EXPECT_EQ(o.summary.Errors[1].rfind("文件 (1): ", 0), 0u) << o.summary.Errors[1];
    EXPECT_TRUE(o.probes[1].empty()) << "a job that could not start left an output";
    for (int i : {2, 3})
      EXPECT_NE(o.probes[i].find("codec_name=mp3"), std::string::npos) << o.probes[i];
  }
  EXPECT_EQ(outcomes[0].endedTasks, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(outcomes[1].endedTasks.back(), 0) << "job 0 did not run beside the others";
  // Job 0 stops where a report found it halfway, which varies by a few packets.
  for (int i : {1, 2, 3}) EXPECT_EQ(outcomes[0].probes[i], outcomes[1].probes[i]) << i;
  EXPECT_EQ(outcomes[0].summary.Errors, outcomes[1].summary.Errors);
  // One job at a time the bar is that job's position; two at once it is the run's.
  EXPECT_TRUE(outcomes[0].overallSeen.empty());
  ASSERT_FALSE(outcomes[1].overallSeen.empty());
  for (const auto& [position, overall] : outcomes[1].overallSeen) EXPECT_EQ(position, overall);
}

// Cancelling while two of four jobs run: both are stopped, the two waiting never run,
// every row fails and nothing counts as succeeded or done.
TEST_F(ConversionRunTest, CancelStopsEveryRunningJobAndEndsTheWaitingOnes) {
  std::vector<std::string> files;
  for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
    files.push_back(
        MakeMedia(dir_, name, {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=4"}));
  ConversionRun run(encoder_);
  run.JobsAsked = 2;
  RecordingActions actions;
  run.SetEndOfRunActions(&actions);
  Observed seen;
  Watch(run, seen);
  encoder_.SetProgressInterval(100);
  ASSERT_TRUE(run.Build(Choice("MP3", 2, out_), false, files));
  for (int i = 0; i < 4; ++i) encoder_.Task(i)->RateEmulation = true;
  run.Start();
  bool cancelled = false;
  bool bothRan = false;
  ASSERT_TRUE(WaitForEnd(seen, [&] {
    if (cancelled || seen.progress.empty()) return;
    bool zero = false, one = false;
    for (const engine::TProgressInfo& p : seen.progress) {
      zero = zero || p.TaskIndex == 0;
      one = one || p.TaskIndex == 1;
    }
    if (zero && one) {
      bothRan = encoder_.Task(0)->Running && encoder_.Task(1)->Running;
      cancelled = true;
      run.Cancel();
    }
  }));
  ASSERT_TRUE(cancelled);
  EXPECT_TRUE(bothRan);
  for (const engine::TProgressInfo& p : seen.progress) EXPECT_LT(p.TaskIndex, 2);
  for (const ConversionRow& row : run.Rows()) EXPECT_EQ(row[2], "失败。") << row[0];
  EXPECT_EQ(seen.summary.FileCount, 4);
  EXPECT_EQ(seen.summary.Succeeded, 0);
  EXPECT_EQ(seen.summary.Failed, 4);
  EXPECT_EQ(run.TerminatedCount(), 4);
  for (const std::string& line : seen.summary.Errors)
    EXPECT_TRUE(line.rfind("文件 (0)", 0) == 0 || line.rfind("文件 (1)", 0) == 0) << line;
  EXPECT_EQ(actions.calls, std::vector<std::string>{"summary 4/0/4"});
  EXPECT_EQ(run.DoneDuration(), 0);
  EXPECT_FALSE(seen.offMainThread);
  // The stopped two keep what they converted; the two that never ran leave nothing.
  for (int i : {2, 3}) EXPECT_FALSE(fs::exists(run.Plan().Jobs[i].Output)) << i;
}

// How many jobs run at once, chosen for the batch: every core when each job encodes on
// one thread, one when any encoder threads, never more than the memory holds.
TEST_F(ConversionRunTest, AutoChoosesTheCoresOnlyWhenEveryJobEncodesOnOneThread) {
  const std::string clip = MakeMedia(dir_, "clip.mkv", Clip(1, "320x240"));
  struct Case {
    const char* format;
    bool singleThreaded;
    bool video;
  };
  const std::vector<Case> cases = {
      {"MP3", true, false}, {"FLAC", true, false}, {"WMV", true, true},
      {"MP4", false, true}, {"AVI", false, true},
  };
  int64_t audioPeak = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    ConversionRun run(encoder_);
    ASSERT_TRUE(run.Build(Choice(c.format, DefaultPreset(c.format), out_), false, {clip}));
    const JobDemand demand = DemandOf(*encoder_.Task(0), run.Plan().Jobs[0]);
    EXPECT_EQ(demand.SingleThreaded, c.singleThreaded);
    EXPECT_GT(demand.PeakBytes, 0);
    if (!c.video) audioPeak = demand.PeakBytes;
    // Pictures are held by a video job: it expects more than a sound-only one.
    if (c.video) {
      EXPECT_GT(demand.PeakBytes, audioPeak + 48 * 320 * 240);
    }
    run.Discard();
  }

  const JobDemand single{true, 100 << 20};
  const JobDemand threaded{false, 100 << 20};
  const JobDemand big{true, 1000 << 20};
  struct Choice {
    int requested;
    std::vector<JobDemand> jobs;
    int cores;
    int64_t available;
    int expected;
  };
  const int64_t plenty = int64_t{64} << 30;
  const std::vector<Choice> choices = {
      {0, {single, single, single}, 2, plenty, 2},
      {0, {single, single, single}, 8, plenty, 3},       // no more than the jobs
      {0, {single, threaded, single}, 8, plenty, 1},     // one encoder threads
      {0, {single, single, big}, 8, int64_t{2000} << 20, 1},  // 3/4 of 2000 MiB holds one
      {0, {single, single, single}, 8, int64_t{400} << 20, 3},
      {0, {single, single, single}, 8, int64_t{300} << 20, 2},
      {0, {single, single}, 4, 0, 1},                    // never below one
      {0, {single, single}, 4, -1, 2},                   // memory unknown: the cores
      {5, {threaded, threaded}, 1, 0, 5},                // asked for: taken as it is
      {1, {single, single}, 8, plenty, 1},
  };
  for (size_t i = 0; i < choices.size(); ++i) {
    const Choice& c = choices[i];
    EXPECT_EQ(ChooseJobCount(c.requested, c.jobs, c.cores, c.available), c.expected) << i;
  }
  EXPECT_GE(MachineCores(), 1);
  EXPECT_GT(AvailableMemory(), 0);
}

TEST(RunTimes, HourOfDayAndEstimate) {
  struct TextCase {
    double seconds;
    const char* text;
  };
  const std::vector<TextCase> texts = {
      {0, "0:00:00"},       {59.9994, "0:00:59"}, {59.9996, "0:01:00"}, {3599, "0:59:59"},
      {3600, "1:00:00"},    {36000 + 61, "10:01:01"}, {90000, "1:00:00"},  // 25 hours
      {86399, "23:59:59"}, {-5, "0:00:00"},
  };
  for (const TextCase& c : texts) EXPECT_EQ(HourOfDayText(c.seconds), c.text) << c.seconds;

  // Nothing done or nothing known: the estimate is undefined.
  EXPECT_FALSE(EstimateRunTimes(10'000'000, 0, 5).EstimateKnown);
  EXPECT_FALSE(EstimateRunTimes(0, 1'000'000, 5).EstimateKnown);
  EXPECT_EQ(RunTimeText(12, false), "-:--:--");
  // A quarter done in 30 s: two minutes in all, 90 s left.
  const RunTimes t = EstimateRunTimes(40'000'000, 10'000'000, 30);
  ASSERT_TRUE(t.EstimateKnown);
  EXPECT_DOUBLE_EQ(t.Estimated, 120);
  EXPECT_DOUBLE_EQ(t.TimeLeft, 90);
  // Durations far past 32 bits stay exact enough.
  const RunTimes big = EstimateRunTimes(int64_t{3} << 40, int64_t{1} << 40, 100);
  EXPECT_DOUBLE_EQ(big.Estimated, 300);
  // More done than known (an unknown-duration file's media): never a negative time left.
  EXPECT_EQ(EstimateRunTimes(1'000'000, 4'000'000, 8).TimeLeft, 0);
}

}  // namespace
}  // namespace convert
