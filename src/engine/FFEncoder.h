#pragma once
// The encoder component: a queue of conversion jobs, each with its inputs and outputs,
// started one or several at a time, and the events through which callers follow them
// (progress, the end of each job and of the whole queue, audio and video hooks, preview
// bitmaps). It also owns a decoder for probing files and loads the codec libraries.
//
// Callers use it from the main thread. Progress and preview events arrive on the main
// thread while TriggerEventInMainThread is set (the job's thread waits for them); with
// worker threads each end-of-job OnTerminate runs on a short-lived thread of its own.
// Assign the events while no job runs (or clear them before stopping the jobs).

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "decoder/FFDecoder.h"
#include "engine/CustomFFmpeg.h"
#include "engine/EncoderEvents.h"
#include "engine/OptionRecords.h"

namespace engine {

// What the engine's components have in common.
class TFFBaseComponent {
 public:
  virtual ~TFFBaseComponent() = default;
  std::string About;
};

class TCustomEncoder;

// One job of the queue: the engine job with, per input slot, the decoder attached to that
// input and the input record it was opened with, and per output slot its output record.
class TFFmpeg : public TCustomFFmpeg {
 public:
  // maxFiles must be 1 to 512 (std::invalid_argument otherwise).
  TFFmpeg(TCustomEncoder* owner, int maxFiles);
  ~TFFmpeg();

  TCustomEncoder* Owner() const { return owner_; }
  // The decoder attached to an input (null for an empty slot or after the job ended:
  // the job's inputs are closed then).
  TFFDecoder* Decoder(int inputIndex) const;
  const std::optional<TInputOptions>& InputOptions(int inputIndex) const {
    return inputOptions_.at(inputIndex);
  }
  const std::optional<TOutputOptions>& OutputOptions(int outputIndex) const {
    return outputOptions_.at(outputIndex);
  }

 private:
  friend class TCustomEncoder;
  void DetachDecoders();

  TCustomEncoder* owner_;
  std::vector<std::unique_ptr<TFFDecoder>> decoders_;
  std::vector<std::optional<TInputOptions>> inputOptions_;
  std::vector<std::optional<TOutputOptions>> outputOptions_;
};

// The component's owned jobs. Safe to read from the jobs' threads while the main thread
// changes it.
class TFFmpegList {
 public:
  int Add(std::unique_ptr<TFFmpeg> job);  // the new index
  void Delete(int index);                 // frees the job (it is stopped and waited for)
  void Clear();
  TFFmpeg* Get(int index) const;          // null when out of range
  int IndexOf(const TCustomFFmpeg* job) const;  // -1 when not in the list
  int Count() const;
  // Bit 0 (preview window) or bit 1 (preview bitmaps) of every job.
  void SetPreviewFlag(uint8_t bit, bool on);
  void StopAll(bool wait);
  std::vector<TFFmpeg*> Snapshot() const;
  std::vector<std::unique_ptr<TFFmpeg>> TakeAll();

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<TFFmpeg>> jobs_;
};

class TCustomEncoder : public TFFBaseComponent {
 public:
  static constexpr const char* kVersion = "3.9";
  // Fixed settings of every job the component makes.
  static constexpr int MaxFilesPerTask = 20;
  static constexpr bool JobRaiseOnOptionError = true;
  static constexpr int JobIoTimeout = 10000;  // ms
  static constexpr int JobVerbose = 1;

  TCustomEncoder();
  ~TCustomEncoder() override;
  TCustomEncoder(const TCustomEncoder&) = delete;
  TCustomEncoder& operator=(const TCustomEncoder&) = delete;

  std::string Version() const { return kVersion; }

  // ---- Libraries ----
  // False with LastErrorMessage() when the libraries in the folder do not fit.
  bool LoadEngineLibraries(const std::string& folder);
  bool EngineLibrariesLoaded() const;
  void UnloadEngineLibraries() {}

  // ---- Building the queue (refused with "Cannot <name> while working." once started) ----
  // A job whose first input is the file: its TaskIndex, or -1 with LastErrorMessage().
  int AddTask(const std::string& fileName, const TInputOptions* options = nullptr);
  bool AddInputFile(int taskIndex, const std::string& fileName,
                    const TInputOptions* options = nullptr);
  bool SetOutputFile(int taskIndex, const std::string& fileName,
                     const TOutputOptions* options = nullptr);
  void RemoveTask(int taskIndex);
  // Frees every job and makes the component idle again; refused while jobs still run
  // (allowed after the final notification, also from within its handler).
  void ClearTasks();
  int TasksCount() const { return Jobs.Count(); }
  TFFmpeg* Task(int taskIndex) const { return Jobs.Get(taskIndex); }

  // ---- Running ----
  // count > 0: worker threads, at most count jobs at a time; otherwise every job runs in
  // the calling thread before this returns.
  void StartTask(int count);
  // No further job starts; with Working every job is stopped (one never started ends at
  // once, reported with Finished false). With waitForStop it returns when each has ended.
  void StopTasks(bool waitForStop);

  TFFDecoder& Decoder() { return decoder_; }
  std::string LastErrorMessage() const;

  // ---- Properties ----
  bool Preview() const { return preview_; }
  void SetPreview(bool value);
  bool PreviewBitmap() const { return previewBitmap_; }
  void SetPreviewBitmap(bool value);
  int ProgressInterval() const { return progressInterval_; }
  void SetProgressInterval(int milliseconds);  // 100 or less stores 100
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority value) { threadPriority_ = value; }
  bool TriggerEventInMainThread() const { return triggerEventInMainThread_; }
  void SetTriggerEventInMainThread(bool value) { triggerEventInMainThread_ = value; }

  // ---- Run bookkeeping ----
  bool Working() const { return working_; }
  bool AllDone() const { return allDone_; }
  bool Threaded() const { return threaded_; }
  int FinishedCount() const { return finishedCount_; }
  int PendingCount() const { return pendingCount_; }
  int NextTaskIndex() const { return nextTaskIndex_; }
  // The last per-job OnTerminate handler has returned.
  bool HandlerDone() const;
  // Returns when no OnTerminate handler runs on a notifier thread any more (the calling
  // one aside), e.g. before what the handlers use goes away. The main thread keeps
  // serving main-thread calls while it waits.
  void WaitForNotifiers();

  // ---- Events ----
  TAudioHookEvent OnAudioHook;
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
  TVideoHookEvent OnVideoInputHook;
  TVideoHookEvent OnVideoOutputHook;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

 private:
  struct Notifiers;
  class Busy;

  void Guard(const char* operation) const;
  TFFmpeg& JobAt(int taskIndex) const;
  uint8_t PreviewFlagBits() const;
  void ApplyInputOptions(TFFmpeg& job, int slot, const std::string& fileName,
                         const TInputOptions* options, std::string& openName);
  // Runs with the terminate lock held.
  TFFmpeg* TakeNext();
  void StartNext();
  void JobEnded(TFFmpeg& job);
  void SendFinal();
  void Notify(TTerminateEvent handler, const TTerminateInfo& info, bool final);
  void Progress(TCustomFFmpeg& job, int fileIndex, int frameNumber, int fps, float quality,
                float bitRate, int64_t currentSize, int64_t currentDuration,
                int64_t totalDuration);
  void PreviewBitmapReady(TCustomFFmpeg& job, TBitmap& bitmap, int frameNumber, int64_t pts);
  void AudioHook(TCustomFFmpeg& job, uint8_t* samples, int64_t pts, int size, int sampleRate,
                 int channels, AVSampleFormat sampleFormat);
  void VideoHook(bool input, TCustomFFmpeg& job, TBitmap& bitmap, int frameNumber, int64_t pts,
                 bool& update, bool& stopHook);
  void FreeJobs(std::vector<std::unique_ptr<TFFmpeg>> jobs);

  TFFmpegList Jobs;
  TFFDecoder decoder_;
  // Records the text as LastErrorMessage; false, for the failing call to return.
  bool FailWith(const std::string& text);
  mutable std::mutex errorMutex_;
  std::string lastErrorMessage_;

  std::atomic<bool> preview_{false}, previewBitmap_{false};
  std::atomic<int> progressInterval_{500};
  std::atomic<TThreadPriority> threadPriority_{tpNormal};
  std::atomic<bool> triggerEventInMainThread_{true};

  std::atomic<int> finishedCount_{0}, nextTaskIndex_{-1}, pendingCount_{0};
  std::atomic<bool> allDone_{false}, threaded_{false}, working_{false};

  // One lock per kind of event; the two video hooks share one. The terminate lock is
  // taken again when a job that cannot start ends from inside the start of the next.
  std::mutex audioHookLock_, previewBitmapLock_, progressLock_, videoHookLock_;
  std::recursive_mutex terminateLock_;
  TProgressInfo progressInfo_;
  TTerminateInfo terminateInfo_;
  THookInfo hookInfo_;
  TPreviewInfo previewInfo_;

  std::shared_ptr<Notifiers> notifiers_;
  // Calls that walk the jobs outside the locks; jobs cleared meanwhile are freed when the
  // last of them returns.
  std::mutex busyMutex_;
  int busyCount_ = 0;
  std::vector<std::unique_ptr<TFFmpeg>> graveyard_;
};

// The component as the program uses it.
class TFFEncoder : public TCustomEncoder {
 public:
  TFFEncoder() = default;
};

}  // namespace engine
