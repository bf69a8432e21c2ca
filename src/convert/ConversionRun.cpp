#include "convert/ConversionRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
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
  startTime_ = Now();
  encoder_.StartTask(1);
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

void ConversionRun::UpdateTimes() {
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
  const RunTimes times = EstimateRunTimes(plan_.TotalDuration, done, Now() - startTime_);
  estimatedText_ = RunTimeText(times.Estimated, times.EstimateKnown);
  elapsedText_ = HourOfDayText(times.Elapsed);
  timeLeftText_ = RunTimeText(times.TimeLeft, times.EstimateKnown);
}

void ConversionRun::HandleProgress(const engine::TProgressInfo& info) {
  const int row = RowOf(info.TaskIndex);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  ConversionRow& cells = rows_[row];
  currentFile_ = merge_ ? cells[4] : app::WithTrailingSeparator(cells[4]) + cells[0];
  if (info.TotalDuration > 0) {
    // In double: corrupt timestamps cannot overflow the percentage.
    progressPosition_ = engine::ProgressPercent(info.CurrentDuration, info.TotalDuration);
    if (!merge_) {
      cells[3] = std::to_string(progressPosition_) + "%";
      cells[2] = kConverting;
      RowChanged(row);
    }
  } else if (!merge_) {
    cells[3] = "N/A";
    RowChanged(row);
  }
  if (JobDuration(info.TaskIndex) > 0) currentDuration_[info.TaskIndex] = info.CurrentDuration;
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
    progressPosition_ = 100;
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
  if (info.Failed)
    errors_.push_back("文件 (" + std::to_string(info.TaskIndex) + "): " + info.ErrorMessage);
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
