#pragma once
// The run controller of one conversion batch: builds the jobs through the batch builder,
// starts the encoder, turns its progress reports into the texts of the progress page
// (current file, estimated total time, elapsed time, time left, overall progress, the
// conversion list's cells), counts the jobs that succeeded and failed, collects their
// error texts and, once the encoder has told that every job ended, runs the end-of-run
// actions and hands over the summary. A failed job never stops the run.
//
// Threads: everything here is read and changed on the main thread. Progress reports come
// there from the encoder; each job's end arrives on a notifier thread of the encoder and
// is handed to the main thread (the notifier waits), so the counters, the rows and every
// callback below run on the main thread only. The counters and cells are keyed by the
// job's TaskIndex, so several jobs may run at once.
// Plain C++ (no widgets): the window shows it, wizconv-cli prints it.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "appcore/AppSettings.h"
#include "convert/BatchBuilder.h"
#include "engine/EncoderEvents.h"

namespace engine {
class TFFEncoder;
}

namespace convert {

// The five columns of the conversion list: name, duration, status (merge: size), progress
// (merge: aspect ratio), path (per file the input's folder, merge the output file).
constexpr int kConversionColumns = 5;
using ConversionRow = std::array<std::string, kConversionColumns>;

// Caption of a column of the conversion list in either mode.
std::string ConversionColumnCaption(int column, bool merge);

// A time of day "h:nn:ss" of a count of seconds: the hours wrap at 24 (25 hours read
// "1:00:00"), minutes and seconds have two digits.
std::string HourOfDayText(double seconds);

// What the time labels show. The estimate is the run's known media time scaled by the
// wall time it took to convert the media done so far; it is undefined while nothing is
// done or no duration is known.
struct RunTimes {
  bool EstimateKnown = false;
  double Estimated = 0;  // seconds
  double Elapsed = 0;
  double TimeLeft = 0;  // never below 0
};
RunTimes EstimateRunTimes(int64_t totalDurationUs, int64_t doneDurationUs, double elapsedSeconds);
// The label text of a time: HourOfDayText, or "-:--:--" for an estimate not yet known.
std::string RunTimeText(double seconds, bool known);

// What one job asks of the machine while it runs.
struct JobDemand {
  bool SingleThreaded = true;  // every encoder of the job works on one thread
  int64_t PeakBytes = 0;       // expected peak of the memory it takes
};
// The demand of a built job: its encoders as the output set-up chose them, and its
// pictures' sizes from the probe.
JobDemand DemandOf(const engine::TFFmpeg& job, const BatchJob& planned);

// How many jobs run at once. `requested` > 0 is taken as it is. Otherwise (auto): the
// cores when every job encodes on one thread, else 1; and never more jobs than three
// quarters of the available memory holds at the largest expected peak. At least 1.
int ChooseJobCount(int requested, const std::vector<JobDemand>& jobs, int cores,
                   int64_t availableBytes);
// The cores this process may run on, and the memory the system can still give (bytes;
// -1 when unknown).
int MachineCores();
int64_t AvailableMemory();

struct RunSummary {
  int FileCount = 0;
  int Succeeded = 0;
  int Failed = 0;
  std::vector<std::string> Errors;  // "文件 (n): " + the job's error text
};

// What happens at the end of a run besides the summary. The window plays the sounds,
// shows the countdown and powers off through logind; tests record the calls.
class EndOfRunActions {
 public:
  virtual ~EndOfRunActions() = default;
  // Plays a sound file without waiting for it (a missing file or no audio device: the
  // system's beep).
  virtual void PlaySound(const std::string& file) = 0;
  // Counts down before the computer is powered off: true when the countdown ran out,
  // false when the person cancelled it.
  virtual bool CountDownToShutdown() = 0;
  // Shuts the computer down and powers it off.
  virtual void PowerOff() = 0;
  // Shows the summary page.
  virtual void ShowSummary(const RunSummary& summary) = 0;
};

class ConversionRun {
 public:
  explicit ConversionRun(engine::TFFEncoder& encoder);
  // A run still going is detached and stopped first (no end-of-run action follows).
  ~ConversionRun();
  ConversionRun(const ConversionRun&) = delete;
  ConversionRun& operator=(const ConversionRun&) = delete;

  // Builds the jobs of the run in the (idle, empty) encoder: the list of files, top to
  // bottom, in the class, format, preset and output folder of `settings`. Resets the
  // counters and fills the conversion list. True when at least one job was built.
  bool Build(const app::AppSettings& settings, bool merge, const std::vector<std::string>& files);
  // Starts the built jobs, JobsAtOnce() at a time; the start time of the run is now. Does
  // nothing when Build made no job (no notification will come).
  void Start();
  // How many jobs run at once: 0 chooses for the batch (ChooseJobCount), a positive
  // number is taken as it is. A merge run is always one job.
  int JobsAsked = 0;
  // What the last Start chose (1 before the first).
  int JobsAtOnce() const { return jobsAtOnce_; }
  // Build and Start.
  bool StartRun(const app::AppSettings& settings, bool merge,
                const std::vector<std::string>& files);
  // Drops built jobs that were never started (their empty outputs go with them).
  void Discard();
  // Stops the running job and ends the waiting ones without running them; each counts as
  // failed and the end of the run follows as usual. With `wait` it returns once every job
  // has ended.
  void Cancel(bool wait = true);
  // The window closes during a run: from now on nothing of the run reaches the page, no
  // end-of-run action follows, and the jobs are stopped and waited for.
  void Detach();
  // Between Start and the end of the run's end-of-run actions.
  bool IsRunning() const { return running_; }
  // Empties the conversion list (and the page labels).
  void ClearList();

  // ---- What the page shows ----
  bool Merge() const { return merge_; }
  const std::vector<ConversionRow>& Rows() const { return rows_; }
  std::string ColumnCaption(int column) const { return ConversionColumnCaption(column, merge_); }
  const BatchPlan& Plan() const { return plan_; }
  const std::string& CurrentFileTitle() const { return currentFileTitle_; }
  const std::string& CurrentFile() const { return currentFile_; }
  const std::string& EstimatedText() const { return estimatedText_; }
  const std::string& ElapsedText() const { return elapsedText_; }
  const std::string& TimeLeftText() const { return timeLeftText_; }
  int ProgressPosition() const { return progressPosition_; }  // 0 to 100
  std::string ProgressText() const { return std::to_string(progressPosition_) + "%"; }

  // ---- Counters of the current (or last) run ----
  int FileCount() const { return fileCount_; }
  int SucceededCount() const { return succeededCount_; }
  int TerminatedCount() const { return terminatedCount_; }
  int64_t TotalDuration() const { return plan_.TotalDuration; }
  int64_t DoneDuration() const { return doneDuration_; }
  const std::vector<std::string>& Errors() const { return errors_; }
  RunSummary Summary() const;

  // ---- End of the run ----
  // Not owned; without actions only the summary callback runs.
  void SetEndOfRunActions(EndOfRunActions* actions) { actions_ = actions; }
  bool PlaySoundWhenFinished = false;
  bool ShutDownWhenFinished = false;
  // Folder of "done.wav" and "fail.wav", with a trailing separator.
  std::string SoundFolder;

  // ---- Callbacks, all on the main thread ----
  std::function<void()> OnListReset;             // rows rebuilt, captions changed
  std::function<void(int row)> OnRowChanged;     // cells of one row
  std::function<void()> OnLabelsChanged;         // current file, times, progress
  std::function<void(const engine::TProgressInfo&)> OnProgress;  // after the page took it
  // One job ended, told in the order the notifications come (the order jobs end in; with
  // several jobs at once that need not be the jobs' order).
  std::function<void(const engine::TTerminateInfo&)> OnJobEnded;
  // The run ended: after the end-of-run actions and the summary.
  std::function<void(const RunSummary&)> OnRunEnded;
  // The builder's log lines.
  std::function<void(const std::string&)> OnLog;

  // The clock of the elapsed time, in seconds; tests replace it.
  std::function<double()> Now;

 private:
  void HandleProgress(const engine::TProgressInfo& info);
  void HandleJobEnd(const engine::TTerminateInfo& info);
  void HandleFinal();
  int RowOf(int taskIndex) const;
  int64_t JobDuration(int taskIndex) const;
  void UpdateTimes();
  int64_t MediaDone() const;
  bool Overall() const;
  void SetLabelsIdle();
  void RowChanged(int row);
  void LabelsChanged();

  engine::TFFEncoder& encoder_;
  EndOfRunActions* actions_ = nullptr;
  bool merge_ = false;
  BatchPlan plan_;
  std::vector<ConversionRow> rows_;

  std::string currentFileTitle_ = "当前文件:";
  std::string currentFile_ = "...";
  std::string estimatedText_ = "0:00:00", elapsedText_ = "0:00:00", timeLeftText_ = "0:00:00";
  int progressPosition_ = 0;
  int jobsAtOnce_ = 1;

  int fileCount_ = 0;
  int succeededCount_ = 0;
  std::atomic<int> terminatedCount_{0};
  int64_t doneDuration_ = 0;
  // Media time reached by each job still running whose duration is known.
  std::map<int, int64_t> currentDuration_;
  std::vector<std::string> errors_;  // in job order whatever order the jobs end in
  std::vector<int> errorTasks_;      // the job of each line
  double startTime_ = 0;

  bool built_ = false;
  std::atomic<bool> running_{false};
  // Cleared when the window goes away during a run: the handlers then do nothing.
  std::shared_ptr<std::atomic<bool>> attached_;
};

}  // namespace convert
