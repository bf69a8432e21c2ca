// The encoder component on real media and real threads: the queue with and without worker
// threads and the threads its notifications arrive on, a job that cannot start, stopping
// the queue, the guards and capacities, the option scans of an output, and the events of
// progress, hooks and previews.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "EngineMedia.h"
#include "LogCapture.h"
#include "OutputProbe.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "engine/FFEncoder.h"
#include "enginebase/FFmpegException.h"

using engine::TFFEncoder;
using engine::TTerminateInfo;
using enginemedia::Media;
using testsupport::TempDir;
using namespace std::chrono_literals;

namespace {

struct Notice {
  TTerminateInfo info;
  std::thread::id thread;
};

// Every OnTerminate the component sends, in arrival order. Handlers may still be running
// on their threads when the final notice is seen: going out of scope waits for them.
struct Notices {
  TFFEncoder* encoder = nullptr;
  ~Notices() {
    if (encoder) encoder->WaitForNotifiers();
  }
  std::mutex mutex;
  std::vector<Notice> list;
  std::function<void(const TTerminateInfo&)> also;

  void Attach(TFFEncoder& target) {
    encoder = &target;
    encoder->OnTerminate = [this](engine::TCustomEncoder&, const TTerminateInfo& info) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        list.push_back({info, std::this_thread::get_id()});
      }
      if (also) also(info);
    };
  }
  std::vector<Notice> Get() {
    std::lock_guard<std::mutex> lock(mutex);
    return list;
  }
  // Per-job notices run on threads of their own and may overtake one another: the one of
  // a task, and the final notice, which always comes last.
  TTerminateInfo Of(int task) {
    for (const auto& n : Get())
      if (n.info.TaskIndex == task) return n.info;
    ADD_FAILURE() << "no notice for task " << task;
    return {};
  }
  bool FinalSeen() {
    for (const auto& n : Get())
      if (n.info.TaskIndex == -1) return true;
    return false;
  }
  // Serves the main thread until the final notification has come.
  bool WaitFinal(std::chrono::milliseconds timeout = 60s) {
    return core::MainThread::WaitWhileServing([this] { return FinalSeen(); }, timeout);
  }
};

class Encoder : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    ASSERT_TRUE(encoder.LoadEngineLibraries("lib")) << encoder.LastErrorMessage();
  }
  // A job from the input to the output ("" for none).
  int AddJob(const std::string& input, const std::string& output) {
    const int index = encoder.AddTask(input);
    EXPECT_GE(index, 0) << encoder.LastErrorMessage();
    if (index >= 0 && !output.empty()) {
      EXPECT_TRUE(encoder.SetOutputFile(index, output)) << encoder.LastErrorMessage();
    }
    return index;
  }

  TempDir dir;
  TFFEncoder encoder;
};

TEST_F(Encoder, WithoutThreadsEveryJobAndTheFinalNoticeRunInTheCallersThread) {
  Notices notices;
  notices.Attach(encoder);
  encoder.SetProgressInterval(101);
  for (int i = 0; i < 3; ++i) AddJob(Media("tone.wav"), dir.str() + "/" + std::to_string(i) + ".wav");
  encoder.StartTask(0);
  const auto list = notices.Get();  // all of them, before StartTask returned
  ASSERT_EQ(list.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].info.TaskIndex, i < 3 ? i : -1);
    EXPECT_TRUE(list[i].info.Finished);
    EXPECT_FALSE(list[i].info.Failed);
    EXPECT_EQ(list[i].info.ErrorMessage, "");
    EXPECT_EQ(list[i].thread, std::this_thread::get_id());
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(encoder.Task(i)->ProgressIntervalUs, 101000);
    EXPECT_TRUE(outputprobe::Read(dir.str() + "/" + std::to_string(i) + ".wav").ok);
  }
  EXPECT_EQ(encoder.FinishedCount(), 3);
  EXPECT_TRUE(encoder.Working());
  EXPECT_TRUE(encoder.AllDone());
  // Still working after the final notice: the queue is refused until it is cleared.
  try {
    encoder.AddTask(Media("tone.wav"));
    ADD_FAILURE() << "AddTask while working";
  } catch (const engine::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
  }
  encoder.ClearTasks();
  EXPECT_FALSE(encoder.Working());
  EXPECT_EQ(encoder.TasksCount(), 0);
  EXPECT_EQ(encoder.AddTask(Media("tone.wav")), 0);
}

TEST_F(Encoder, OneWorkerRunsTheQueueInTurnAJobWithoutOutputFailsAndTheFinalNoticeComesLast) {
  std::atomic<bool> lastHandlerReturned{false};
  std::atomic<bool> job1StartedAfterJob0Ended{false};
  Notices notices;
  notices.Attach(encoder);
  notices.also = [&](const TTerminateInfo& info) {
    // Job 1 starts from the end of job 0, fails at once, and its notice may come first.
    if (info.TaskIndex == 1) job1StartedAfterJob0Ended = encoder.Task(0)->Terminated.load();
    if (info.TaskIndex == 2) {
      std::this_thread::sleep_for(300ms);  // the final notice must wait for this handler
      lastHandlerReturned = true;
    }
    if (info.TaskIndex == -1) {
      EXPECT_TRUE(lastHandlerReturned);
    }
  };
  std::mutex progressMutex;
  std::vector<std::pair<int, std::thread::id>> progress;
  encoder.OnProgress = [&](engine::TCustomEncoder&, engine::PProgressInfo info) {
    std::lock_guard<std::mutex> lock(progressMutex);
    progress.emplace_back(info->TaskIndex, std::this_thread::get_id());
  };
  encoder.SetProgressInterval(100);
  AddJob(Media("tone.wav"), dir.str() + "/0.wav");
  AddJob(Media("tone.wav"), "");
  AddJob(Media("tone.wav"), dir.str() + "/2.wav");
  encoder.Task(0)->RateEmulation = true;  // one second of real time
  encoder.Task(2)->RateEmulation = true;
  encoder.StartTask(1);
  EXPECT_TRUE(notices.Get().empty()) << "StartTask(1) returns while the first job runs";
  EXPECT_TRUE(encoder.Task(0)->Running);
  EXPECT_FALSE(encoder.Task(2)->Running);
  ASSERT_TRUE(notices.WaitFinal());
  const auto list = notices.Get();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list.back().info.TaskIndex, -1);
  for (const auto& n : list)
    EXPECT_NE(n.thread, std::this_thread::get_id()) << "notices come on their own threads";
  for (int task = 0; task < 3; ++task) {
    SCOPED_TRACE(task);
    EXPECT_EQ(notices.Of(task).Finished, task != 1);
    EXPECT_EQ(notices.Of(task).Failed, task == 1);
  }
  EXPECT_EQ(notices.Of(1).ErrorMessage, "At least one output file must be specified");
  EXPECT_TRUE(job1StartedAfterJob0Ended);
  EXPECT_TRUE(outputprobe::Read(dir.str() + "/0.wav").ok);
  EXPECT_TRUE(outputprobe::Read(dir.str() + "/2.wav").ok);
  // One job at a time: all reports of job 0 come before those of job 2, on the main thread.
  std::lock_guard<std::mutex> lock(progressMutex);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; }));
  EXPECT_EQ(progress.front().first, 0);
  EXPECT_EQ(progress.back().first, 2);
  for (const auto& [task, thread] : progress) EXPECT_EQ(thread, std::this_thread::get_id());
}

// StartTask(2) on four jobs of a second each: two run at once and never more, each later
// job starting as an earlier one ends; the jobs' end notices still come one at a time
// although jobs end together, and the final notice comes last.
TEST_F(Encoder, TwoWorkersRunTwoJobsAtOnceAndTheNoticesComeOneAtATime) {
  std::atomic<int> inHandler{0};
  std::atomic<int> mostInHandler{0};
  Notices notices;
  notices.Attach(encoder);
  notices.also = [&](const TTerminateInfo& info) {
    if (info.TaskIndex < 0) return;
    const int now = ++inHandler;
    int most = mostInHandler;
    while (now > most && !mostInHandler.compare_exchange_weak(most, now)) {
    }
    std::this_thread::sleep_for(150ms);  // long enough for a second notice to overlap
    --inHandler;
  };
  for (int i = 0; i < 4; ++i) {
    AddJob(Media("tone.wav"), dir.str() + "/" + std::to_string(i) + ".wav");
    encoder.Task(i)->RateEmulation = true;  // one second of real time each
  }
  encoder.StartTask(2);
  int mostRunning = 0;
  bool laterBeforeEarlierEnded = false;
  ASSERT_TRUE(core::MainThread::WaitWhileServing(
      [&] {
        int running = 0;
        for (int i = 0; i < 4; ++i) running += encoder.Task(i)->Running ? 1 : 0;
        mostRunning = std::max(mostRunning, running);
        // Job 2 waits for a worker: it never runs while jobs 0 and 1 both still do.
        const bool earlierRun = !encoder.Task(0)->Terminated && !encoder.Task(1)->Terminated;
        if (encoder.Task(2)->Running && earlierRun) laterBeforeEarlierEnded = true;
        return notices.FinalSeen();
      },
      30s));
  EXPECT_EQ(mostRunning, 2);
  EXPECT_FALSE(laterBeforeEarlierEnded);
  EXPECT_EQ(mostInHandler.load(), 1) << "two end notices ran at the same time";
  const auto list = notices.Get();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list.back().info.TaskIndex, -1);
  for (int task = 0; task < 4; ++task) {
    SCOPED_TRACE(task);
    EXPECT_TRUE(notices.Of(task).Finished);
    EXPECT_TRUE(outputprobe::Read(dir.str() + "/" + std::to_string(task) + ".wav").ok);
  }
}

TEST_F(Encoder, StoppingTheQueueDuringTheFirstOfThreeEndsEveryJobUnfinished) {
  Notices notices;
  notices.Attach(encoder);
  std::atomic<int64_t> reached{0};
  encoder.OnProgress = [&](engine::TCustomEncoder&, engine::PProgressInfo info) {
    reached = info->CurrentDuration;
    std::this_thread::sleep_for(20ms);  // the worker is often waiting in here when stopped
  };
  for (int i = 0; i < 3; ++i) {
    AddJob(Media("av.mp4"), dir.str() + "/" + std::to_string(i) + ".avi");
    encoder.Task(i)->RateEmulation = true;
  }
  encoder.StartTask(1);
  ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return reached > 700000; }, 20s));
  try {
    encoder.ClearTasks();
    ADD_FAILURE() << "ClearTasks while jobs run";
  } catch (const engine::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Cannot ClearTasks while working.");
  }
  encoder.StopTasks(true);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(encoder.Task(i)->Terminated) << i;
  ASSERT_TRUE(notices.WaitFinal());
  const auto list = notices.Get();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list.back().info.TaskIndex, -1);
  EXPECT_TRUE(list.back().info.Finished);
  for (int task = 0; task < 3; ++task) {
    SCOPED_TRACE(task);
    EXPECT_FALSE(notices.Of(task).Finished);
    EXPECT_FALSE(notices.Of(task).Failed) << notices.Of(task).ErrorMessage;
  }
  // The stopped job leaves a shorter playable file; the two that never ran leave nothing
  // once they are freed.
  const auto probe = outputprobe::Read(dir.str() + "/0.avi");
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_LT(probe.duration, 2.5);
  encoder.ClearTasks();
  EXPECT_FALSE(std::filesystem::exists(dir.str() + "/1.avi"));
  EXPECT_FALSE(std::filesystem::exists(dir.str() + "/2.avi"));
}

TEST_F(Encoder, TheFinalHandlerMayClearTheListWithOrWithoutThreads) {
  for (int count : {0, 1}) {
    SCOPED_TRACE(count);
    Notices notices;
    notices.Attach(encoder);
    notices.also = [&](const TTerminateInfo& info) {
      if (info.TaskIndex == -1) encoder.ClearTasks();
    };
    AddJob(Media("tone.wav"), dir.str() + "/a.wav");
    AddJob(Media("tone.wav"), dir.str() + "/b.wav");
    encoder.StartTask(count);
    ASSERT_TRUE(notices.WaitFinal());
    ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return !encoder.Working(); }, 10s));
    EXPECT_EQ(encoder.TasksCount(), 0);
    EXPECT_EQ(notices.Get().size(), 3u);
    EXPECT_TRUE(outputprobe::Read(dir.str() + "/b.wav").ok);
  }
}

TEST_F(Encoder, OperationsAreRefusedWhileWorkingEvenOnAnEmptyQueue) {
  Notices notices;
  notices.Attach(encoder);
  encoder.StartTask(1);  // nothing to run, nothing to report
  EXPECT_TRUE(encoder.Working());
  struct Case {
    const char* text;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"Cannot AddTask while working.", [&] { encoder.AddTask(Media("tone.wav")); }},
      {"Cannot AddInputFile while working.", [&] { encoder.AddInputFile(0, Media("tone.wav")); }},
      {"Cannot SetOutputFile while working.", [&] { encoder.SetOutputFile(0, dir.str() + "/x.wav"); }},
      {"Cannot RemoveTask while working.", [&] { encoder.RemoveTask(0); }},
      {"Cannot StartTask while working.", [&] { encoder.StartTask(1); }},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no error: " << c.text;
    } catch (const engine::FFmpegException& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(notices.Get().empty());
  encoder.ClearTasks();  // an empty run can be cleared at once
  EXPECT_FALSE(encoder.Working());
}

TEST_F(Encoder, AJobTakesTwentyInputsAndTwentyOutputs) {
  const int task = AddJob(Media("tone.wav"), "");
  for (int i = 1; i < 20; ++i)
    ASSERT_TRUE(encoder.AddInputFile(task, Media("tone.wav"))) << encoder.LastErrorMessage();
  EXPECT_FALSE(encoder.AddInputFile(task, Media("tone.wav")));
  EXPECT_EQ(encoder.LastErrorMessage(), "max input files 20 reached");
  EXPECT_EQ(encoder.Task(task)->InputFileCount(), 20);
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(encoder.SetOutputFile(task, dir.str() + "/" + std::to_string(i) + ".wav"))
        << encoder.LastErrorMessage();
  EXPECT_FALSE(encoder.SetOutputFile(task, dir.str() + "/20.wav"));
  EXPECT_EQ(encoder.LastErrorMessage(), "max output files 20 reached");
  EXPECT_FALSE(std::filesystem::exists(dir.str() + "/20.wav"));
  // Each input got a decoder that describes it.
  ASSERT_NE(encoder.Task(task)->Decoder(19), nullptr);
  EXPECT_EQ(encoder.Task(task)->Decoder(19)->AudioStreamCount(), 1);
}

TEST_F(Encoder, TheProgressIntervalIsNeverBelowATenthOfASecond) {
  EXPECT_EQ(encoder.ProgressInterval(), 500);
  const std::pair<int, int> cases[] = {{50, 100}, {100, 100}, {101, 101}, {-5, 100}, {2000, 2000}};
  for (const auto& [set, stored] : cases) {
    encoder.SetProgressInterval(set);
    EXPECT_EQ(encoder.ProgressInterval(), stored) << set;
  }
}

TEST_F(Encoder, InputsAreOpenedWithTheirRecordAndTheLinkSenderIsTheJob) {
  std::vector<std::pair<engine::TFFmpeg*, void*>> seen;
  encoder.OnBeforeFindStreamInfo = [&](engine::TFFmpeg& sender, void* context) {
    seen.emplace_back(&sender, context);
  };
  engine::TInputOptions options;
  options.FileName = Media("tone.wav");  // the record's name wins over the task's
  const int task = encoder.AddTask("", &options);
  ASSERT_EQ(task, 0) << encoder.LastErrorMessage();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, encoder.Task(0));
  EXPECT_EQ(seen[0].second, encoder.Task(0)->InputFiles[0].get());
  engine::TInputOptions unnamed;
  unnamed.ForceFormat = "mp3";
  ASSERT_TRUE(encoder.AddInputFile(task, Media("audio.mp3"), &unnamed))
      << encoder.LastErrorMessage();
  EXPECT_EQ(encoder.Task(0)->InputOptions(1)->FileName, Media("audio.mp3"));
  EXPECT_EQ(encoder.Task(0)->InputFiles[1]->iformat->name, std::string("mp3"));
  // A failed input leaves the job as it was, a failed first input leaves no job.
  EXPECT_FALSE(encoder.AddInputFile(task, dir.str() + "/missing.wav"));
  EXPECT_NE(encoder.LastErrorMessage().find("missing.wav"), std::string::npos);
  EXPECT_EQ(encoder.Task(0)->InputFileCount(), 2);
  EXPECT_FALSE(encoder.Task(0)->InputOptions(2).has_value());
  EXPECT_EQ(encoder.AddTask(dir.str() + "/missing.wav"), -1);
  EXPECT_EQ(encoder.TasksCount(), 1);
  EXPECT_FALSE(encoder.AddInputFile(7, Media("tone.wav")));
  EXPECT_EQ(encoder.LastErrorMessage(), "List index out of bounds (7)");
  // Preview switches reach every job.
  encoder.SetPreview(true);
  EXPECT_EQ(encoder.Task(0)->PreviewFlags, 1);
  encoder.SetPreviewBitmap(true);
  EXPECT_EQ(encoder.AddTask(Media("tone.wav")), 1);
  EXPECT_EQ(encoder.Task(1)->PreviewFlags, 3);
  encoder.SetPreview(false);
  EXPECT_EQ(encoder.Task(0)->PreviewFlags, 2);
  EXPECT_EQ(encoder.Task(1)->PreviewFlags, 2);
}

TEST_F(Encoder, TheOutputRecordsCodecsWinOverTheExtraOptionsWhichFillWhatItLeavesOpen) {
  const int task = AddJob(Media("av.mp4"), "");
  engine::TOutputOptions options;
  options.AudioCodec = "pcm_s16le";
  options.ExtOptions = "acodec=libmp3lame<CRLF>VCODEC=mjpeg\r\nab=64000";
  ASSERT_TRUE(encoder.SetOutputFile(task, dir.str() + "/out.avi", &options))
      << encoder.LastErrorMessage();
  const auto& slots = encoder.Task(task)->OutputStreamSlots;
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_STREQ(slots[0].Encoder->name, "mjpeg");
  EXPECT_STREQ(slots[1].Encoder->name, "pcm_s16le");
  EXPECT_EQ(encoder.Task(task)->OutputOptions(0)->FileName, dir.str() + "/out.avi");
  // Failures give their text and leave the job as it was.
  struct Case {
    std::string file, ext, text;
  };
  const Case cases[] = {
      {dir.str() + "/out.nosuchext", "",
       "Unable to find a suitable output format for '" + dir.str() + "/out.nosuchext'"},
      {dir.str() + "/bad.avi", "nosuchoption=1", "nosuchoption"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    engine::TOutputOptions o;
    o.ExtOptions = c.ext;
    EXPECT_FALSE(encoder.SetOutputFile(task, c.file, &o));
    EXPECT_NE(encoder.LastErrorMessage().find(c.text), std::string::npos)
        << encoder.LastErrorMessage();
    EXPECT_EQ(encoder.Task(task)->OutputFileCount(), 1);
    EXPECT_FALSE(encoder.Task(task)->OutputOptions(1).has_value());
  }
  EXPECT_EQ(encoder.TasksCount(), 1);
}

TEST_F(Encoder, HooksRunOnTheJobsThreadAndPreviewsOnTheMainThreadAtTheChosenDepth) {
  Notices notices;
  notices.Attach(encoder);
  std::mutex mutex;
  std::vector<int> hookFrames;
  std::vector<std::thread::id> hookThreads, previewThreads;
  std::vector<int> previewDepths;
  int audioRate = 0, audioChannels = 0;
  encoder.OnVideoOutputHook = [&](engine::TCustomEncoder&, engine::PHookInfo info) {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(info->TaskIndex, 0);
    EXPECT_EQ(info->Bitmap->BitsPerPixel, 32);
    EXPECT_TRUE(info->Update);
    info->Update = false;
    hookFrames.push_back(info->FrameNumber);
    hookThreads.push_back(std::this_thread::get_id());
  };
  encoder.OnAudioHook = [&](engine::TCustomEncoder&, int task, int64_t, uint8_t*, int size, int rate,
                            int channels, AVSampleFormat) {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(task, 0);
    EXPECT_GT(size, 0);
    audioRate = rate;
    audioChannels = channels;
  };
  encoder.OnPreviewBitmap = [&](engine::TCustomEncoder&, const engine::TPreviewInfo& info) {
    std::lock_guard<std::mutex> lock(mutex);
    previewThreads.push_back(std::this_thread::get_id());
    previewDepths.push_back(info.Bitmap->BitsPerPixel);
  };
  encoder.SetPreviewBitmap(true);
  const int task = AddJob(Media("av.mp4"), "");
  engine::TOutputOptions options;
  options.VideoOutputHook = true;
  options.AudioHook = true;
  options.BitsPixel = 32;
  ASSERT_TRUE(encoder.SetOutputFile(task, dir.str() + "/hooked.avi", &options))
      << encoder.LastErrorMessage();
  encoder.StartTask(1);
  ASSERT_TRUE(notices.WaitFinal());
  EXPECT_TRUE(notices.Get()[0].info.Finished) << notices.Get()[0].info.ErrorMessage;
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(hookFrames.size(), 75u);  // 3 s at 25 frames a second
  for (size_t i = 0; i < hookFrames.size(); ++i) EXPECT_EQ(hookFrames[i], static_cast<int>(i) + 1);
  for (const auto& thread : hookThreads) EXPECT_NE(thread, std::this_thread::get_id());
  EXPECT_EQ(audioRate, 44100);
  EXPECT_EQ(audioChannels, 2);
  ASSERT_FALSE(previewThreads.empty());
  for (const auto& thread : previewThreads) EXPECT_EQ(thread, std::this_thread::get_id());
  for (int depth : previewDepths) EXPECT_EQ(depth, 32);
}

TEST_F(Encoder, AProgressHandlerThatThrowsEndsItsJobAsFailedAndTheQueueGoesOn) {
  for (bool mainThread : {true, false}) {
    SCOPED_TRACE(mainThread);
    Notices notices;
    notices.Attach(encoder);
    encoder.SetTriggerEventInMainThread(mainThread);
    encoder.OnProgress = [&](engine::TCustomEncoder&, engine::PProgressInfo info) {
      if (info->TaskIndex == 0) throw std::runtime_error("handler refused");
    };
    AddJob(Media("av.mp4"), dir.str() + "/a.avi");
    AddJob(Media("tone.wav"), dir.str() + "/b.wav");
    encoder.StartTask(1);
    ASSERT_TRUE(notices.WaitFinal());
    const auto list = notices.Get();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.back().info.TaskIndex, -1);
    EXPECT_TRUE(notices.Of(0).Failed);
    EXPECT_FALSE(notices.Of(0).Finished);
    EXPECT_EQ(notices.Of(0).ErrorMessage, "handler refused");
    EXPECT_TRUE(notices.Of(1).Finished);
    EXPECT_FALSE(notices.Of(1).Failed);
    encoder.ClearTasks();
  }
}

struct CountingWindow : engine::IPreviewWindow {
  explicit CountingWindow(std::atomic<int>& alive) : alive_(alive) { ++alive_; }
  ~CountingWindow() override { --alive_; }
  bool Show(const engine::TBitmap&, int, int64_t) override { return true; }
  std::atomic<int>& alive_;
};

TEST_F(Encoder, SwitchingPreviewsDuringARunClosesTheWindowAndNeverBlocksTheMainThread) {
  std::atomic<int> windows{0};
  engine::SetPreviewWindowFactory([&] { return std::make_unique<CountingWindow>(windows); });
  struct ResetFactory {
    ~ResetFactory() { engine::SetPreviewWindowFactory(nullptr); }
  } resetFactory;
  Notices notices;
  notices.Attach(encoder);
  std::atomic<int> previews{0};
  encoder.OnPreviewBitmap = [&](engine::TCustomEncoder&, const engine::TPreviewInfo&) {
    ++previews;
  };
  encoder.SetPreview(true);
  AddJob(Media("av.mp4"), dir.str() + "/window.avi");
  AddJob(Media("av.mp4"), dir.str() + "/bitmaps.avi");
  for (int i = 0; i < 2; ++i) encoder.Task(i)->RateEmulation = true;
  encoder.StartTask(1);
  // The window opens with the first frames and closes when the switch goes off.
  ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return windows == 1; }, 10s));
  encoder.SetPreview(false);
  EXPECT_EQ(windows, 0);
  EXPECT_EQ(encoder.Task(0)->PreviewFlags & 1, 0);
  // The second job delivers bitmaps on the main thread while the window switch is flipped
  // on and off here: the worker holds the preview lock while it waits for this thread.
  encoder.SetPreviewBitmap(true);
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!notices.FinalSeen()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run is blocked";
    encoder.SetPreview(!encoder.Preview());
    core::MainThread::WaitWhileServing([] { return false; }, 5ms);
  }
  EXPECT_GT(previews, 0);
  EXPECT_TRUE(notices.Of(0).Finished);
  EXPECT_TRUE(notices.Of(1).Finished);
}

}  // namespace

// A report's percentage stays within 0 to 100 whatever the timestamps say: an integer
// current × 100 would overflow and wrap for times past about 2900 years.
TEST(ProgressPercent, StaysWithinTheScaleForAnyTimes) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    int64_t current, total;
    int percent;
  } cases[] = {
      {0, 1000, 0},          {500, 1000, 50},       {999, 1000, 99},   {1000, 1000, 100},
      {kMax, 1000, 100},     {kMax / 50, kMax, 2},  {kMax / 2, kMax, 50}, {-5, 1000, 0},
      {kMin, 1000, 0},       {kMax, kMax, 100},     {5, 0, -1},        {5, -1, -1},
      {kMax, kMin, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.current) + " of " + std::to_string(c.total));
    EXPECT_EQ(engine::ProgressPercent(c.current, c.total), c.percent);
  }
}
