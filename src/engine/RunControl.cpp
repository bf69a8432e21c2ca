// Run control of a job: starting it on its worker or in the caller's thread, asking it to
// stop, ending it exactly once with a report, and releasing what it opened.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/MainThread.h"
#include "engine/ConvertThread.h"
#include "engine/CustomFFmpeg.h"
#include "engine/PreviewLock.h"
#include "engine/TranscodeState.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavutil/time.h>
}

namespace engine {
namespace {

// The threads each job has made, kept until the job goes so that it can wait for them.
struct JobThreads {
  std::mutex mutex;
  std::map<const TCustomFFmpeg*, std::vector<std::unique_ptr<TJobThread>>> threads;
  std::map<const TCustomFFmpeg*, TConvertThread*> workers;
};

JobThreads& Threads() {
  static JobThreads* threads = new JobThreads;  // worker threads may outlive static data
  return *threads;
}

void KeepThread(const TCustomFFmpeg* job, std::unique_ptr<TJobThread> thread) {
  std::lock_guard<std::mutex> lock(Threads().mutex);
  Threads().threads[job].push_back(std::move(thread));
}

TConvertThread* WorkerOf(const TCustomFFmpeg* job) {
  std::lock_guard<std::mutex> lock(Threads().mutex);
  auto it = Threads().workers.find(job);
  return it == Threads().workers.end() ? nullptr : it->second;
}

// Waits for the event; a main thread keeps serving the calls queued for it meanwhile, so
// that a worker blocked in a main-thread handler can finish.
void WaitServing(ManualResetEvent& event) {
  while (!event.Wait(std::chrono::milliseconds(20)))
    if (core::MainThread::IsMainThread()) core::MainThread::ProcessPending();
}

void LogError(const TCustomFFmpeg* job, const std::string& text) {
  DefaultLogger().Log(job, llQuiet, text);
}

}  // namespace

// Waits for every thread the job made (a thread asking for its own job only lets go).
void JoinJobThreads(const TCustomFFmpeg* job) {
  std::vector<std::unique_ptr<TJobThread>> threads;
  {
    std::lock_guard<std::mutex> lock(Threads().mutex);
    auto it = Threads().threads.find(job);
    if (it != Threads().threads.end()) {
      threads = std::move(it->second);
      Threads().threads.erase(it);
    }
    Threads().workers.erase(job);
  }
  for (auto& thread : threads) thread->Join();
}

TConvertThread* TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
  if (Running || Terminated) return nullptr;
  std::string failure;
  if (OutputFiles.empty())
    failure = "At least one output file must be specified";
  else if (InputFiles.empty())
    failure = "At least one input file must be specified";
  if (!failure.empty()) {
    try {
      Cleanup();
    } catch (const std::exception& e) {
      LogError(this, e.what());
    }
    LogError(this, failure);
    ErrorMessage = failure;
    HasError = true;
    DoTerminate();
    return nullptr;
  }
  Running = true;
  StopRequested = false;
  Finished = false;
  Terminated = false;
  if (!threaded) {
    RunJob();
    return nullptr;
  }
  RunDoneEvent.Reset();
  std::unique_ptr<TConvertThread> thread;
  try {
    thread = std::make_unique<TConvertThread>(*this, priority);
  } catch (const std::exception& e) {
    RunDoneEvent.Set();
    LogError(this, e.what());
    ErrorMessage = e.what();
    HasError = true;
    DoTerminate();
    return nullptr;
  }
  TConvertThread* worker = thread.get();
  {
    std::lock_guard<std::mutex> lock(Threads().mutex);
    Threads().workers[this] = worker;
    Threads().threads[this].push_back(std::move(thread));
  }
  WorkerThread = worker;
  return worker;
}

void TCustomFFmpeg::RunJob() {
  // Each step on its own: a failure is recorded and the steps after it still run, so the
  // job is always released and reported.
  auto step = [this](auto&& action) {
    try {
      action();
    } catch (const std::exception& e) {
      LogError(this, e.what());
      ErrorMessage = e.what();
      HasError = true;
    } catch (...) {
      LogError(this, "Unknown error");
      ErrorMessage = "Unknown error";
      HasError = true;
    }
  };
  step([this] {
    Finished = false;
    Transcode();
  });
  // A job that has ended shows no more frames.
  step([this] { ClosePreviewWindow(); });
  // Codecs a failed run left open: encoders, then decoders (both under the codec lock).
  step([this] { ReleaseRunState(); });
  step([this] { Cleanup(); });
  step([this] { DoTerminate(); });
}

void TCustomFFmpeg::DoTerminate() {
  Running = false;
  if (Terminated.exchange(true)) return;  // a job is reported once
  WorkerThread = nullptr;
  if (TerminateLink) TerminateLink(*this);
}

void TCustomFFmpeg::RequestStop(bool wait) {
  StopRequested = true;
  TConvertThread* worker = WorkerOf(this);
  if (worker && !RunDoneEvent.IsSet()) {
    worker->Resume();
    // The worker itself (a handler on its thread) cannot wait for its own end.
    if (wait && !worker->IsCurrent()) WaitServing(RunDoneEvent);
  } else {
    IoStartTime = 0;  // a blocking open under way gives up as cancelled
  }
}

void TCustomFFmpeg::StopJob(bool wait) {
  if (Running) {
    RequestStop(wait);
    return;
  }
  if (Terminated) return;
  TerminateDoneEvent.Reset();
  KeepThread(this, std::make_unique<TDoTerminateThread>(*this));
  if (wait) WaitServing(TerminateDoneEvent);
}

bool TCustomFFmpeg::IsStopRequested(void* job) {
  return job && static_cast<TCustomFFmpeg*>(job)->StopRequested;
}

bool TCustomFFmpeg::IoTimedOut(void* job) {
  auto* self = static_cast<TCustomFFmpeg*>(job);
  if (!self || self->IoTimeout <= 0) return false;
  const int64_t start = self->IoStartTime;
  if (start == std::numeric_limits<int64_t>::max()) return false;  // no open under way
  if (av_gettime_relative() - start <= static_cast<int64_t>(self->IoTimeout) * 1000) return false;
  self->Log(llInfo, start == 0 ? "connecting/reading/writing canceled"
                               : "connecting/reading/writing timeout");
  return true;
}

namespace {

std::unique_lock<std::mutex> LockPreviews() {
  std::unique_lock<std::mutex> lock(PreviewLock(), std::defer_lock);
  if (core::MainThread::IsMainThread()) {
    // A worker may hold the lock while it waits for a main-thread preview handler.
    while (!lock.try_lock()) {
      core::MainThread::ProcessPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  } else {
    lock.lock();
  }
  return lock;
}

}  // namespace

void TCustomFFmpeg::ClosePreviewWindow() {
  auto lock = LockPreviews();
  PreviewWindow.reset();
}

void TCustomFFmpeg::SetPreviewFlags(uint8_t flags) {
  auto lock = LockPreviews();
  const uint8_t old = PreviewFlags;
  if (old != flags) {
    if ((old & 1) && !(flags & 1)) PreviewWindow.reset();
    PreviewFlags = flags;
  }
  FreshPreviewWanted = true;
}

std::string CloseOutput(AVFormatContext* output, TOutputTarget* target) {
  // A write that failed when the last bytes were flushed leaves the file incomplete.
  if (output && output->pb && output->oformat && !(output->oformat->flags & AVFMT_NOFILE)) {
    avio_flush(output->pb);
    const bool writeFailed = output->pb->error < 0;
    if (avio_closep(&output->pb) < 0 || writeFailed) {
      if (target) target->Complete = false;
    }
  }
  return target ? SettleOutputTarget(*target) : std::string();
}

void TCustomFFmpeg::SettleCompleteOutputs() {
  std::string failure;
  for (size_t i = 0; i < OwnedOutputFiles.size() && i < OutputTargets.size(); ++i) {
    if (!OutputTargets[i].Complete) continue;
    const std::string text = CloseOutput(OwnedOutputFiles[i].get(), &OutputTargets[i]);
    if (!text.empty() && failure.empty()) failure = text;
  }
  if (!failure.empty()) throw FFmpegException(failure);
}

void TCustomFFmpeg::Cleanup() {
  ReleaseRunState();
  // Outputs: the file is closed with its context; a file that stayed empty is deleted. A
  // joined output is one context however many entries refer to it.
  std::vector<OutputContextPtr> outputs = std::move(OwnedOutputFiles);
  std::vector<TOutputTarget> targets = std::move(OutputTargets);
  OwnedOutputFiles.clear();
  OutputTargets.clear();
  OutputFiles.clear();
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    OutputStreamSlots.clear();
  }
  std::string renameFailure;
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::string text = CloseOutput(outputs[i].get(), i < targets.size() ? &targets[i] : nullptr);
    if (!text.empty() && renameFailure.empty()) renameFailure = text;
    outputs[i].reset();
  }
  JoinMode = false;

  InputFiles.clear();
  InputTsOffsets.clear();
  InputTsScales.clear();
  NextInputTsScales.clear();
  InputDecoders.clear();

  // Buffers the options made.
  IntraMatrix.clear();
  InterMatrix.clear();
  RcOverride.clear();
  StreamIdMap.clear();
  StreamMaps.clear();
  MetadataMaps.clear();
  ChapterMaps.clear();
  VideoCodecName.clear();
  AudioCodecName.clear();
  SubtitleCodecName.clear();
  VideoStandard.clear();
  AudioBitstreamFilters.clear();
  VideoBitstreamFilters.clear();
  SubtitleBitstreamFilters.clear();
  av_dict_free(&Metadata);
  if (!renameFailure.empty()) throw FFmpegException(renameFailure);
}

}  // namespace engine
