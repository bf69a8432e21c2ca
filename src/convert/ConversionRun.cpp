#include "convert/ConversionRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sched.h>
#include <thread>

#include "appcore/FileNames.h"
#include "appcore/TimeText.h"
#include "convert/OutputOptionBuilder.h"
#include "core/MainThread.h"
#include "engine/FFEncoder.h"

namespace convert {

namespace {

constexpr const char* kWaiting = "等待...";
constexpr const char* kConverting = "正在转换...";
constexpr const char* kDone = "完成。";
constexpr const char* kFailed = "失败。";
constexpr const char* kNoDuration = "持续时间不是当前";

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string DurationText(int64_t duration) {
  return duration > 0 ? app::FormatMicroseconds(duration) : std::string(kNoDuration);
}

std::string AspectText(float aspect) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", static_cast<double>(aspect));
  return text;
}

}  // namespace

std::string ConversionColumnCaption(int column, bool merge) {
  switch (column) {
    case 0:
      return "名称";
    case 1:
      return "持续时间";
    case 2:
      return merge ? "宽度x高度" : "状态";
    case 3:
      return merge ? "宽高比" : "进展";
    case 4:
      return "路径";
    default:
      return {};
  }
}

std::string HourOfDayText(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  // Whole milliseconds first, as a clock reading does; then the seconds are cut.
  const auto milliseconds = static_cast<long long>(std::llround(std::fmod(seconds, 86400.0) * 1000));
  const long long total = (milliseconds / 1000) % 86400;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

RunTimes EstimateRunTimes(int64_t totalDurationUs, int64_t doneDurationUs, double elapsedSeconds) {
  RunTimes times;
  times.Elapsed = elapsedSeconds;
  if (doneDurationUs <= 0 || totalDurationUs <= 0) return times;
  times.EstimateKnown = true;
  times.Estimated =
      static_cast<double>(totalDurationUs) * elapsedSeconds / static_cast<double>(doneDurationUs);
  times.TimeLeft = std::max(0.0, times.Estimated - elapsedSeconds);
  return times;
}

std::string RunTimeText(double seconds, bool known) {
  return known ? HourOfDayText(seconds) : std::string("-:--:--");
}

JobDemand DemandOf(const engine::TFFmpeg& job, const BatchJob& planned) {
  // What a job holds besides its pictures: packets, codec and muxer state, buffers.
  constexpr int64_t kJobBytes = 16ll << 20;
  // Pictures held at once by the decoder, the filters and the encoder of a video path,
  // counted on both sides of it.
  constexpr int64_t kPicturesHeld = 48;
  JobDemand demand;
  demand.PeakBytes = kJobBytes;
  int64_t largestPicture = 1920 * 1080 * 3 / 2;  // when no input tells its size
  if (!planned.Facts.empty()) largestPicture = 0;
  for (const SourceFacts& facts : planned.Facts) {
    // A picture of unknown size is taken as a full HD one.
    const int64_t width = facts.Width > 0 ? facts.Width : 1920;
    const int64_t height = facts.Height > 0 ? facts.Height : 1080;
    largestPicture = std::max(largestPicture, width * height * 3 / 2);
  }
  bool video = false;
  for (const engine::TOutputStreamSlot& slot : job.OutputStreamSlots) {
    if (!slot.Stream || slot.Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    video = true;
    if (slot.StreamCopy || !slot.Encoder) continue;
    constexpr int kThreading =
        AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_SLICE_THREADS | AV_CODEC_CAP_OTHER_THREADS;
    // The job leaves the thread count to the libraries unless it was told to use one.
    if ((slot.Encoder->capabilities & kThreading) && job.ThreadCount != 1)
      demand.SingleThreaded = false;
  }
  if (video) demand.PeakBytes += kPicturesHeld * largestPicture;
  return demand;
}

int ChooseJobCount(int requested, const std::vector<JobDemand>& jobs, int cores,
                   int64_t availableBytes) {
  if (requested > 0) return requested;
  bool single = true;
  int64_t peak = 0;
  for (const JobDemand& job : jobs) {
    single = single && job.SingleThreaded;
    peak = std::max(peak, job.PeakBytes);
  }
  int count = single ? std::max(1, cores) : 1;
  if (availableBytes >= 0 && peak > 0) {
    const int64_t fits = availableBytes / 4 * 3 / peak;
    count = static_cast<int>(std::min<int64_t>(count, fits));
  }
  if (!jobs.empty()) count = std::min(count, static_cast<int>(jobs.size()));
  return std::max(1, count);
}

int MachineCores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

int64_t AvailableMemory() {
  std::ifstream info("/proc/meminfo");
  std::string name;
  int64_t kilobytes = 0;
  std::string unit;
  while (info >> name >> kilobytes) {
    std::getline(info, unit);
    if (name == "MemAvailable:") return kilobytes * 1024;
  }
  return -1;
}

ConversionRun::ConversionRun(engine::TFFEncoder& encoder)
    : encoder_(encoder), attached_(std::make_shared<std::atomic<bool>>(true)) {
  Now = SteadySeconds;
  std::shared_ptr<std::atomic<bool>> attached = attached_;
  encoder_.OnProgress = [this, attached](engine::TCustomEncoder&, engine::PProgressInfo info) {
    if (*attached) HandleProgress(*info);
  };
  encoder_.OnTerminate = [this, attached](engine::TCustomEncoder&,
                                          const engine::TTerminateInfo& info) {
    if (!*attached) return;
    if (info.TaskIndex >= 0) {
      // The notifier waits while the main thread takes the job's end.
      const engine::TTerminateInfo copy = info;
      core::MainThread::Call([this, attached, copy] {
        if (*attached) HandleJobEnd(copy);
      });
      return;
    }
    // Every per-job notification has been taken before the run ends.
    while (*attached && terminatedCount_.load() < encoder_.TasksCount())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    core::MainThread::Call([this, attached] {
      if (*attached) HandleFinal();
    });
  };
}

ConversionRun::~ConversionRun() {
  if (running_) Detach();
  *attached_ = false;
  encoder_.WaitForNotifiers();
  encoder_.OnProgress = nullptr;
  encoder_.OnTerminate = nullptr;
}

bool ConversionRun::Build(const app::AppSettings& settings, bool merge,
                          const std::vector<std::string>& files) {
  merge_ = merge;
  rows_.clear();
  currentDuration_.clear();
  errors_.clear();
  errorTasks_.clear();
  succeededCount_ = 0;
  terminatedCount_ = 0;
  doneDuration_ = 0;
  currentFileTitle_ = merge ? "输出文件:" : "当前文件:";
  SetLabelsIdle();

  BatchBuilder builder(encoder_);
  builder.OnLog = OnLog;
  plan_ = builder.Build(settings, merge, files);
  if (merge) {
    fileCount_ = plan_.Jobs.empty() ? 0 : 1;
    if (!plan_.Jobs.empty()) {
      const BatchJob& job = plan_.Jobs.front();
      for (size_t i = 0; i < job.Inputs.size(); ++i) {
        const SourceFacts& facts = job.Facts.at(i);
        rows_.push_back({FileNameOf(job.Inputs[i]), DurationText(facts.Duration),
                         std::to_string(facts.Width) + "x" + std::to_string(facts.Height),
                         AspectText(facts.AspectRatio), job.Output});
      }
    }
  } else {
    fileCount_ = static_cast<int>(plan_.Jobs.size());
    for (const BatchJob& job : plan_.Jobs) {
      rows_.push_back({FileNameOf(job.Inputs.front()), DurationText(job.Duration), kWaiting, "",
                       FolderOf(job.Inputs.front())});
    }
  }
  built_ = !plan_.Jobs.empty();
  if (OnListReset) OnListReset();
  LabelsChanged();
  return built_;
}

void ConversionRun::Start() {
  if (!built_) return;
  built_ = false;
  running_ = true;
  if (merge_) {
    jobsAtOnce_ = 1;
  } else {
    std::vector<JobDemand> demands;
    if (JobsAsked <= 0) {
      for (const BatchJob& job : plan_.Jobs) {
        if (const engine::TFFmpeg* task = encoder_.Task(job.TaskIndex))
          demands.push_back(DemandOf(*task, job));
      }
    }
    jobsAtOnce_ = ChooseJobCount(JobsAsked, demands, MachineCores(), AvailableMemory());
  }
  startTime_ = Now();
  encoder_.StartTask(jobsAtOnce_);
}

bool ConversionRun::StartRun(const app::AppSettings& settings, bool merge,
                             const std::vector<std::string>& files) {
  if (!Build(settings, merge, files)) return false;
  Start();
  return true;
}

void ConversionRun::Discard() {
  if (running_) return;
  built_ = false;
  encoder_.ClearTasks();
}

void ConversionRun::Cancel(bool wait) {
  if (running_) encoder_.StopTasks(wait);
}

void ConversionRun::Detach() {
  *attached_ = false;
  if (running_) encoder_.StopTasks(true);
  encoder_.WaitForNotifiers();
  running_ = false;
}

void ConversionRun::ClearList() {
  rows_.clear();
  plan_ = BatchPlan{};
  SetLabelsIdle();
  if (OnListReset) OnListReset();
  LabelsChanged();
}

RunSummary ConversionRun::Summary() const {
  return RunSummary{fileCount_, succeededCount_, fileCount_ - succeededCount_, errors_};
}

int ConversionRun::RowOf(int taskIndex) const { return merge_ ? 0 : taskIndex; }

int64_t ConversionRun::JobDuration(int taskIndex) const {
  if (merge_) return plan_.TotalDuration;
  if (taskIndex < 0 || taskIndex >= static_cast<int>(plan_.Jobs.size())) return -1;
  return plan_.Jobs[taskIndex].Duration;
}

void ConversionRun::RowChanged(int row) {
  if (OnRowChanged) OnRowChanged(row);
}

void ConversionRun::LabelsChanged() {
  if (OnLabelsChanged) OnLabelsChanged();
}

void ConversionRun::SetLabelsIdle() {
  currentFile_ = "...";
  progressPosition_ = 0;
  estimatedText_ = elapsedText_ = timeLeftText_ = "0:00:00";
}

int64_t ConversionRun::MediaDone() const {
  // The media done so far counts only jobs whose duration is known: it is set against
  // the run's known durations.
  int64_t done = doneDuration_;
  for (const auto& [task, current] : currentDuration_) {
    // Saturating: a corrupt time must not wrap the sum into a negative one.
    if (current <= 0) continue;
    done = current > std::numeric_limits<int64_t>::max() - done
               ? std::numeric_limits<int64_t>::max()
               : done + current;
  }
  return done;
}

bool ConversionRun::Overall() const {
  // With several jobs at once one job's position says little: the bar shows the run's.
  return jobsAtOnce_ > 1 && plan_.TotalDuration > 0;
}

void ConversionRun::UpdateTimes() {
  const RunTimes times = EstimateRunTimes(plan_.TotalDuration, MediaDone(), Now() - startTime_);
  estimatedText_ = RunTimeText(times.Estimated, times.EstimateKnown);
  elapsedText_ = HourOfDayText(times.Elapsed);
  timeLeftText_ = RunTimeText(times.TimeLeft, times.EstimateKnown);
}

void ConversionRun::HandleProgress(const engine::TProgressInfo& info) {
  const int row = RowOf(info.TaskIndex);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  ConversionRow& cells = rows_[row];
  currentFile_ = merge_ ? cells[4] : app::WithTrailingSeparator(cells[4]) + cells[0];
  if (JobDuration(info.TaskIndex) > 0) currentDuration_[info.TaskIndex] = info.CurrentDuration;
  if (info.TotalDuration > 0) {
    // In double: corrupt timestamps cannot overflow the percentage.
    const int jobPosition = engine::ProgressPercent(info.CurrentDuration, info.TotalDuration);
    progressPosition_ =
        Overall() ? engine::ProgressPercent(MediaDone(), plan_.TotalDuration) : jobPosition;
    if (!merge_) {
      cells[3] = std::to_string(jobPosition) + "%";
      cells[2] = kConverting;
      RowChanged(row);
    }
  } else if (!merge_) {
    cells[3] = "N/A";
    RowChanged(row);
  }
  UpdateTimes();
  LabelsChanged();
  if (OnProgress) OnProgress(info);
}

void ConversionRun::HandleJobEnd(const engine::TTerminateInfo& info) {
  const int row = RowOf(info.TaskIndex);
  currentDuration_.erase(info.TaskIndex);
  if (info.Finished) {
    ++succeededCount_;
    const int64_t duration = JobDuration(info.TaskIndex);
    if (duration > 0) doneDuration_ += duration;
    progressPosition_ = Overall() ? engine::ProgressPercent(MediaDone(), plan_.TotalDuration) : 100;
  }
  if (row >= 0 && row < static_cast<int>(rows_.size())) {
    if (info.Finished) {
      rows_[row][3] = "100%";
      rows_[row][2] = kDone;
    } else {
      rows_[row][2] = kFailed;
    }
    RowChanged(row);
  }
  if (info.Failed) {
    // The lines stay in job order when jobs running at once end in another.
    const auto at = std::upper_bound(errorTasks_.begin(), errorTasks_.end(), info.TaskIndex);
    const auto offset = at - errorTasks_.begin();
    errorTasks_.insert(at, info.TaskIndex);
    errors_.insert(errors_.begin() + offset,
                   "文件 (" + std::to_string(info.TaskIndex) + "): " + info.ErrorMessage);
  }
  ++terminatedCount_;
  LabelsChanged();
  if (OnJobEnded) OnJobEnded(info);
}

void ConversionRun::HandleFinal() {
  encoder_.ClearTasks();
  currentFile_ = "...";
  progressPosition_ = 0;
  LabelsChanged();
  const RunSummary summary = Summary();
  if (actions_) {
    if (PlaySoundWhenFinished)
      actions_->PlaySound(SoundFolder + (succeededCount_ < fileCount_ ? "fail.wav" : "done.wav"));
    if (ShutDownWhenFinished && actions_->CountDownToShutdown()) actions_->PowerOff();
    actions_->ShowSummary(summary);
  }
  running_ = false;
  if (OnRunEnded) OnRunEnded(summary);
}

}  // namespace convert
