// The encoder component: building jobs from option records, the queue that starts them,
// and the events that carry their progress, hooks, previews and ends to the caller.

#include "engine/FFEncoder.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <stdexcept>
#include <set>

#include "core/MainThread.h"
#include "engine/ConvertThread.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

namespace engine {
namespace {

std::string Format(const char* pattern, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

// Takes a lock; on the main thread the queued main-thread calls are served while waiting,
// because the holder may be a job waiting for one of them.
template <typename Mutex>
std::unique_lock<Mutex> LockServing(Mutex& mutex) {
  std::unique_lock<Mutex> lock(mutex, std::defer_lock);
  if (!core::MainThread::IsMainThread()) {
    lock.lock();
    return lock;
  }
  while (!lock.try_lock()) {
    core::MainThread::ProcessPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return lock;
}

thread_local const void* tlsNotifierOf = nullptr;  // the component a notifier thread serves

}  // namespace

// ---- TFFmpeg ----

TFFmpeg::TFFmpeg(TCustomEncoder* owner, int maxFiles) : owner_(owner) {
  if (maxFiles < 1 || maxFiles > 512)
    throw std::invalid_argument(Format("MaxFiles must be 1 to 512, not %d", maxFiles));
  MaxFiles = maxFiles;
  decoders_.resize(maxFiles);
  inputOptions_.resize(maxFiles);
  outputOptions_.resize(maxFiles);
}

TFFmpeg::~TFFmpeg() {
  // The job is stopped and its threads are waited for before its links go, so that no
  // link is called while it is being cleared.
  try {
    RequestStop(true);
  } catch (...) {
  }
  JoinJobThreads(this);
  ProgressLink = nullptr;
  TerminateLink = nullptr;
  AudioHookLink = nullptr;
  VideoInputHookLink = nullptr;
  VideoOutputHookLink = nullptr;
  PreviewBitmapLink = nullptr;
  BeforeFindStreamInfo = nullptr;
  DetachDecoders();
  decoders_.clear();
  inputOptions_.clear();
  outputOptions_.clear();
}

TFFDecoder* TFFmpeg::Decoder(int inputIndex) const {
  if (inputIndex < 0 || inputIndex >= static_cast<int>(decoders_.size())) return nullptr;
  return decoders_[inputIndex].get();
}

void TFFmpeg::DetachDecoders() {
  // The decoders describe inputs the job owns; they let go before the inputs close.
  for (auto& decoder : decoders_)
    if (decoder) decoder->CloseFile();
}

// ---- TFFmpegList ----

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.push_back(std::move(job));
  return static_cast<int>(jobs_.size()) - 1;
}

void TFFmpegList::Delete(int index) {
  std::unique_ptr<TFFmpeg> job;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(jobs_.size()))
      throw FFmpegException(Format("List index out of bounds (%d)", index));
    job = std::move(jobs_[index]);
    jobs_.erase(jobs_.begin() + index);
  }
  job.reset();  // outside the lock: the job's threads may ask for its index
}

void TFFmpegList::Clear() { TakeAll().clear(); }

TFFmpeg* TFFmpegList::Get(int index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || index >= static_cast<int>(jobs_.size())) return nullptr;
  return jobs_[index].get();
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* job) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < jobs_.size(); ++i)
    if (jobs_[i].get() == job) return static_cast<int>(i);
  return -1;
}

int TFFmpegList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(jobs_.size());
}

void TFFmpegList::SetPreviewFlag(uint8_t bit, bool on) {
  for (TFFmpeg* job : Snapshot()) {
    const uint8_t flags = job->PreviewFlags;
    job->SetPreviewFlags(on ? flags | bit : flags & ~bit);
  }
}

void TFFmpegList::StopAll(bool wait) {
  for (TFFmpeg* job : Snapshot()) job->StopJob(wait);
}

std::vector<TFFmpeg*> TFFmpegList::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TFFmpeg*> jobs;
  for (const auto& job : jobs_) jobs.push_back(job.get());
  return jobs;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(jobs_);
}

// ---- The component ----

struct TCustomEncoder::Notifiers {
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;                    // notifier threads not yet ended
  std::atomic<int> handlersBusy{0};  // per-job handlers started and not yet returned
  // Jobs running at once may end at the same moment: their notifiers take turns in the
  // order the jobs ended, so that one handler runs at a time.
  uint64_t nextTicket = 0;  // given out under the terminate lock
  uint64_t serving = 0;     // the ticket whose handler may run
  std::set<uint64_t> abandoned;  // tickets whose thread could not be started

  // The next turn; call with the mutex held.
  void Advance() {
    ++serving;
    while (abandoned.erase(serving) > 0) ++serving;
    changed.notify_all();
  }
};

// Marks a call that walks the jobs outside the locks.
class TCustomEncoder::Busy {
 public:
  explicit Busy(TCustomEncoder& owner) : owner_(owner) {
    std::lock_guard<std::mutex> lock(owner_.busyMutex_);
    ++owner_.busyCount_;
  }
  ~Busy() {
    std::vector<std::unique_ptr<TFFmpeg>> freed;
    {
      std::lock_guard<std::mutex> lock(owner_.busyMutex_);
      if (--owner_.busyCount_ == 0) freed = std::move(owner_.graveyard_);
    }
    freed.clear();
  }

 private:
  TCustomEncoder& owner_;
};

TCustomEncoder::TCustomEncoder() : notifiers_(std::make_shared<Notifiers>()) {}

TCustomEncoder::~TCustomEncoder() {
  {
    auto lock = LockServing(audioHookLock_);
    OnAudioHook = nullptr;
  }
  {
    auto lock = LockServing(previewBitmapLock_);
    OnPreviewBitmap = nullptr;
  }
  {
    auto lock = LockServing(progressLock_);
    OnProgress = nullptr;
  }
  {
    auto lock = LockServing(videoHookLock_);
    OnVideoInputHook = nullptr;
    OnVideoOutputHook = nullptr;
  }
  {
    auto lock = LockServing(terminateLock_);
    OnTerminate = nullptr;
    pendingCount_ = 0;
  }
  // Each job is stopped and waited for as it is freed.
  Jobs.Clear();
  {
    std::vector<std::unique_ptr<TFFmpeg>> freed;
    {
      std::lock_guard<std::mutex> lock(busyMutex_);
      freed = std::move(graveyard_);
    }
  }
  // Handlers still running on notifier threads use the component as sender.
  WaitForNotifiers();
}

void TCustomEncoder::WaitForNotifiers() {
  const int self = tlsNotifierOf == this ? 1 : 0;
  Notifiers& state = *notifiers_;
  auto idle = [&] { return state.running <= self; };
  std::unique_lock<std::mutex> lock(state.mutex);
  if (!core::MainThread::IsMainThread()) {
    state.changed.wait(lock, idle);
    return;
  }
  while (!state.changed.wait_for(lock, std::chrono::milliseconds(10), idle)) {
    lock.unlock();
    core::MainThread::ProcessPending();
    lock.lock();
  }
}

bool TCustomEncoder::FailWith(const std::string& text) {
  std::lock_guard<std::mutex> lock(errorMutex_);
  lastErrorMessage_ = text;
  return false;
}

bool TCustomEncoder::LoadEngineLibraries(const std::string& folder) {
  if (::engine::LoadEngineLibraries(folder)) return true;
  return FailWith(LastLoadError());
}

bool TCustomEncoder::EngineLibrariesLoaded() const { return ::engine::EngineLibrariesLoaded(); }

std::string TCustomEncoder::LastErrorMessage() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return lastErrorMessage_;
}

bool TCustomEncoder::HandlerDone() const { return notifiers_->handlersBusy == 0; }

void TCustomEncoder::Guard(const char* operation) const {
  if (working_) throw FFmpegException(Format("Cannot %s while working.", operation));
}

TFFmpeg& TCustomEncoder::JobAt(int taskIndex) const {
  TFFmpeg* job = Jobs.Get(taskIndex);
  if (!job) throw FFmpegException(Format("List index out of bounds (%d)", taskIndex));
  return *job;
}

uint8_t TCustomEncoder::PreviewFlagBits() const {
  return static_cast<uint8_t>((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
}

void TCustomEncoder::ApplyInputOptions(TFFmpeg& job, int slot, const std::string& fileName,
                                       const TInputOptions* options, std::string& openName) {
  openName = fileName;
  if (!options) {
    job.inputOptions_[slot].reset();
    return;
  }
  TInputOptions copy = *options;
  if (copy.FileName.empty()) copy.FileName = fileName;
  openName = copy.FileName;
  job.inputOptions_[slot] = copy;
  job.ApplyOptionText(copy.ExtOptions, true);
  if (!copy.ForceFormat.empty()) job.SetOption("f", copy.ForceFormat);
  if (copy.StartTime != kNoTimeValue) job.StartTime = copy.StartTime;
  if (copy.ProgramID >= 0) job.ProgramId = copy.ProgramID;
}

int TCustomEncoder::AddTask(const std::string& fileName, const TInputOptions* options) {
  Guard("AddTask");
  try {
    auto job = std::make_unique<TFFmpeg>(this, MaxFilesPerTask);
    TFFmpeg* raw = job.get();
    job->RaiseOnOptionError = JobRaiseOnOptionError;
    job->Verbose = JobVerbose;
    job->PreviewFlags = PreviewFlagBits();
    job->BeforeFindStreamInfo = [this, raw](AVFormatContext* context) {
      if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(*raw, context);
    };
    job->PreviewBitmapLink = [this](TCustomFFmpeg& j, TBitmap& bitmap, int frameNumber,
                                    int64_t pts) { PreviewBitmapReady(j, bitmap, frameNumber, pts); };
    std::string openName;
    ApplyInputOptions(*job, 0, fileName, options, openName);
    job->IoTimeout = JobIoTimeout;
    if (!job->OpenInput(openName)) {
      std::lock_guard<std::mutex> lock(errorMutex_);
      lastErrorMessage_ = job->LastError;
      return -1;
    }
    job->decoders_[0] = std::make_unique<TFFDecoder>();
    job->decoders_[0]->Attach(job->InputFiles.back().get());
    job->ProgressLink = [this](TCustomFFmpeg& j, int fileIndex, int frameNumber, int fps,
                               float quality, float bitRate, int64_t size, int64_t duration,
                               int64_t total) {
      Progress(j, fileIndex, frameNumber, fps, quality, bitRate, size, duration, total);
    };
    job->TerminateLink = [this, raw](TCustomFFmpeg&) { JobEnded(*raw); };
    return Jobs.Add(std::move(job));
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> lock(errorMutex_);
    lastErrorMessage_ = e.what();
    return -1;
  }
}

bool TCustomEncoder::AddInputFile(int taskIndex, const std::string& fileName,
                                  const TInputOptions* options) {
  Guard("AddInputFile");
  auto fail = [this](const std::string& text) { return FailWith(text); };
  TFFmpeg* job = nullptr;
  int slot = -1;
  try {
    job = &JobAt(taskIndex);
    if (job->InputFileCount() >= MaxFilesPerTask)
      return fail(Format("max input files %d reached", MaxFilesPerTask));
    slot = job->InputFileCount();
    std::string openName;
    ApplyInputOptions(*job, slot, fileName, options, openName);
    job->IoTimeout = JobIoTimeout;
    if (!job->OpenInput(openName)) {
      job->inputOptions_[slot].reset();
      return fail(job->LastError);
    }
    job->decoders_[slot] = std::make_unique<TFFDecoder>();
    job->decoders_[slot]->Attach(job->InputFiles.back().get());
    return true;
  } catch (const std::exception& e) {
    if (job && slot >= 0) job->inputOptions_[slot].reset();
    return fail(e.what());
  }
}

namespace {

// The per-stream names the output's extra options may give, and the default list that
// holds the record's own values for them.
const char* const kStreamNames[] = {"acodec", "vcodec", "scodec", "apre", "vpre",
                                    "spre",   "s",      "vfilters", "vf"};

struct DefaultOptionList {
  std::vector<std::pair<std::string, std::string>> defaults;  // "def_<name>", value
  std::vector<OptionLine> pending;                            // name=value to apply later

  std::string& Default(const std::string& name) {
    for (auto& [key, value] : defaults)
      if (key == "def_" + name) return value;
    defaults.emplace_back("def_" + name, "");
    return defaults.back().second;
  }
};

}  // namespace

bool TCustomEncoder::SetOutputFile(int taskIndex, const std::string& fileName,
                                   const TOutputOptions* options) {
  Guard("SetOutputFile");
  auto fail = [this](const std::string& text) { return FailWith(text); };
  TFFmpeg* job = nullptr;
  int slot = -1;
  try {
    job = &JobAt(taskIndex);
    if (job->OutputFileCount() >= MaxFilesPerTask)
      return fail(Format("max output files %d reached", MaxFilesPerTask));
    slot = job->OutputFileCount();
    DefaultOptionList list;
    std::vector<OptionLine> lines;
    std::string openName = fileName;
    bool join = false;
    if (options) {
      TOutputOptions copy = *options;
      if (copy.FileName.empty()) copy.FileName = fileName;
      openName = copy.FileName;
      job->outputOptions_[slot] = copy;
      list.Default("acodec") = copy.AudioCodec;
      list.Default("vcodec") = copy.VideoCodec;
      list.Default("scodec") = copy.SubtitleCodec;
      list.Default("apre") = copy.AudioPreset;
      list.Default("vpre") = copy.VideoPreset;
      list.Default("spre") = copy.SubtitlePreset;
      list.Default("s") = copy.FrameSize;
      list.Default("vf") = copy.VideoFilters;
      lines = SplitOptionText(copy.ExtOptions);
      for (const OptionLine& line : lines) {
        bool perStream = false;
        for (const char* name : kStreamNames) perStream = perStream || line.Name == name;
        if (!perStream || line.Value.empty()) continue;
        const std::string name = line.Name == "vfilters" ? "vf" : line.Name;
        std::string& value = list.Default(name);
        if (value.empty()) value = line.Value;
        list.pending.push_back({name, line.Value});
      }
      ApplyTarget(*job, copy);
      auto apply = [&](const char* option, const std::string& value) {
        if (!value.empty()) job->SetOption(option, value);
      };
      apply("acodec", list.Default("acodec"));
      apply("vcodec", list.Default("vcodec"));
      apply("scodec", list.Default("scodec"));
      apply("apre", list.Default("apre"));
      apply("vpre", list.Default("vpre"));
      apply("spre", list.Default("spre"));
      job->ApplyOptionText(copy.ExtOptions, false);
      ApplyOutputOptions(*job, copy);
      apply("s", list.Default("s"));
      apply("vf", list.Default("vf"));
      if (copy.AudioHook)
        job->AudioHookLink = [this](TCustomFFmpeg& j, uint8_t* samples, int64_t pts, int size,
                                    int rate, int channels, AVSampleFormat format) {
          AudioHook(j, samples, pts, size, rate, channels, format);
        };
      if (copy.VideoInputHook)
        job->VideoInputHookLink = [this](TCustomFFmpeg& j, TBitmap& bitmap, int frame,
                                         int64_t pts, bool& update, bool& stopHook) {
          VideoHook(true, j, bitmap, frame, pts, update, stopHook);
        };
      if (copy.VideoOutputHook)
        job->VideoOutputHookLink = [this](TCustomFFmpeg& j, TBitmap& bitmap, int frame,
                                          int64_t pts, bool& update, bool& stopHook) {
          VideoHook(false, j, bitmap, frame, pts, update, stopHook);
        };
      job->InputConverter.SetBitsPixel(copy.BitsPixel);
      job->PreviewConverter.SetBitsPixel(copy.BitsPixel);
      join = copy.Join;
    } else {
      job->outputOptions_[slot].reset();
    }

    job->IoTimeout = JobIoTimeout;
    if (job->OpenOutput(openName, join) < 0) {
      job->outputOptions_[slot].reset();
      return fail(job->LastError);
    }
    if (options) {
      // Extra streams: each takes the first pending setting of its kind, or the record's.
      auto consume = [&](const std::string& name) {
        for (auto it = list.pending.begin(); it != list.pending.end(); ++it)
          if (it->Name == name) {
            job->SetOption(name, it->Value);
            list.pending.erase(it);
            return;
          }
        const std::string value = list.Default(name);
        if (!value.empty()) job->SetOption(name, value);
      };
      for (const OptionLine& line : lines) {
        if (line.Name == "newaudio") {
          consume("acodec");
          consume("apre");
        } else if (line.Name == "newvideo") {
          consume("vcodec");
          consume("vpre");
          consume("s");
          consume("vf");
        } else if (line.Name == "newsubtitle") {
          consume("scodec");
          consume("spre");
        } else {
          continue;
        }
        job->SetOption(line.Name, line.Value);
      }
    }
    if (join) job->JoinSetup();
    return true;
  } catch (const std::exception& e) {
    if (job && slot >= 0) job->outputOptions_[slot].reset();
    return fail(e.what());
  }
}

void TCustomEncoder::RemoveTask(int taskIndex) {
  Guard("RemoveTask");
  Jobs.Delete(taskIndex);
}

void TCustomEncoder::ClearTasks() {
  std::vector<std::unique_ptr<TFFmpeg>> jobs;
  {
    auto lock = LockServing(terminateLock_);
    if (working_ && !allDone_) throw FFmpegException("Cannot ClearTasks while working.");
    jobs = Jobs.TakeAll();
    {
      std::lock_guard<std::mutex> errorLock(errorMutex_);
      lastErrorMessage_.clear();
    }
    finishedCount_ = 0;
    nextTaskIndex_ = -1;
    pendingCount_ = 0;
    allDone_ = false;
    threaded_ = false;
    working_ = false;
  }
  FreeJobs(std::move(jobs));
}

void TCustomEncoder::FreeJobs(std::vector<std::unique_ptr<TFFmpeg>> jobs) {
  {
    // A call still walking these jobs (a queue run in this thread, a stop) frees them when
    // it returns; the final handler of such a run may clear the list from inside it.
    std::lock_guard<std::mutex> lock(busyMutex_);
    if (busyCount_ > 0) {
      for (auto& job : jobs) graveyard_.push_back(std::move(job));
      return;
    }
  }
  jobs.clear();
}

void TCustomEncoder::SetPreview(bool value) {
  preview_ = value;
  Jobs.SetPreviewFlag(1, value);
}

void TCustomEncoder::SetPreviewBitmap(bool value) {
  previewBitmap_ = value;
  Jobs.SetPreviewFlag(2, value);
}

void TCustomEncoder::SetProgressInterval(int milliseconds) {
  progressInterval_ = milliseconds <= 100 ? 100 : milliseconds;
}

TFFmpeg* TCustomEncoder::TakeNext() {
  if (pendingCount_ <= 0) return nullptr;
  --pendingCount_;
  TFFmpeg* job = Jobs.Get(nextTaskIndex_++);
  if (job) job->ProgressIntervalUs = static_cast<int64_t>(progressInterval_) * 1000;
  return job;
}

void TCustomEncoder::StartNext() {
  TFFmpeg* job = TakeNext();
  if (!job) return;
  if (threaded_) {
    if (TConvertThread* worker = job->Start(true, threadPriority_)) worker->Resume();
  } else {
    job->Start(false);
  }
}

void TCustomEncoder::StartTask(int count) {
  Guard("StartTask");
  Busy busy(*this);
  {
    auto lock = LockServing(terminateLock_);
    finishedCount_ = 0;
    nextTaskIndex_ = 0;
    pendingCount_ = TasksCount();
    allDone_ = false;
    threaded_ = count > 0;
    working_ = true;
    // Nothing to run: no notification will come, and the list may be cleared at once.
    if (pendingCount_ == 0) allDone_ = true;
  }
  if (threaded_) {
    // Up to count jobs now; each later one starts when an earlier one ends.
    for (;;) {
      {
        auto lock = LockServing(terminateLock_);
        if (pendingCount_ <= 0) break;
        StartNext();
      }
      if (count < 2) break;
      --count;
    }
    return;
  }
  // One after another in this thread; the terminate lock is not held while a job runs, so
  // a stop from another thread gets through.
  for (;;) {
    TFFmpeg* job = nullptr;
    {
      auto lock = LockServing(terminateLock_);
      if (pendingCount_ <= 0) break;
      job = TakeNext();
    }
    if (job) job->Start(false);
  }
}

void TCustomEncoder::StopTasks(bool waitForStop) {
  Busy busy(*this);
  {
    auto lock = LockServing(terminateLock_);
    pendingCount_ = 0;  // from now on no job starts
  }
  if (working_) Jobs.StopAll(waitForStop);
}

void TCustomEncoder::JobEnded(TFFmpeg& job) {
  job.DetachDecoders();  // the job's inputs are closed by now
  auto lock = LockServing(terminateLock_);
  if (TTerminateEvent handler = OnTerminate) {
    terminateInfo_.TaskIndex = Jobs.IndexOf(&job);
    terminateInfo_.Finished = job.Finished;
    terminateInfo_.Failed = job.HasError;
    terminateInfo_.ErrorMessage = job.HasError ? job.ErrorMessage : std::string();
    if (threaded_ || !working_) {
      Notify(std::move(handler), terminateInfo_, false);
    } else {
      try {
        handler(*this, terminateInfo_);
      } catch (const std::exception& e) {
        // The queue goes on whatever a handler does.
        DefaultLogger().Log(this, llError, std::string("Error occurs OnTerminate event: ") + e.what());
      }
    }
  }
  ++finishedCount_;
  if (pendingCount_ < 1) {
    if (finishedCount_ >= TasksCount()) SendFinal();
  } else if (threaded_) {
    StartNext();
  }
}

void TCustomEncoder::SendFinal() {
  // Marked done before the handler can run, so that it may clear the list.
  allDone_ = true;
  TTerminateEvent handler = OnTerminate;
  if (!handler) return;
  const TTerminateInfo info{-1, true, false, std::string()};
  if (threaded_ || !working_) {
    Notify(std::move(handler), info, true);
    return;
  }
  try {
    handler(*this, info);
  } catch (const std::exception& e) {
    DefaultLogger().Log(this, llError, std::string("Error occurs OnTerminate event: ") + e.what());
  }
}

void TCustomEncoder::Notify(TTerminateEvent handler, const TTerminateInfo& info, bool final) {
  std::shared_ptr<Notifiers> state = notifiers_;
  if (!final) ++state->handlersBusy;
  uint64_t ticket = 0;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->running;
    ticket = state->nextTicket++;
  }
  auto body = [this, state, handler = std::move(handler), info, final, ticket] {
    tlsNotifierOf = this;
    {
      // One handler at a time, in the order of the notifications.
      std::unique_lock<std::mutex> lock(state->mutex);
      state->changed.wait(lock, [&] { return state->serving == ticket; });
    }
    // The final notification follows the per-job handlers that are still running.
    if (final)
      while (state->handlersBusy > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    try {
      handler(*this, info);
    } catch (...) {
      // A handler's failure on its own thread ends there.
    }
    if (!final) --state->handlersBusy;
    std::lock_guard<std::mutex> lock(state->mutex);
    --state->running;
    state->Advance();
  };
  try {
    std::thread(std::move(body)).detach();
  } catch (...) {
    if (!final) --state->handlersBusy;
    std::lock_guard<std::mutex> lock(state->mutex);
    --state->running;
    // The later notifications do not wait for a turn that never comes.
    if (state->serving == ticket)
      state->Advance();
    else
      state->abandoned.insert(ticket);
    throw;
  }
}

void TCustomEncoder::Progress(TCustomFFmpeg& job, int fileIndex, int frameNumber, int fps,
                              float quality, float bitRate, int64_t currentSize,
                              int64_t currentDuration, int64_t totalDuration) {
  std::lock_guard<std::mutex> lock(progressLock_);
  if (!OnProgress) return;
  progressInfo_ = TProgressInfo{Jobs.IndexOf(&job), fileIndex,   frameNumber,
                                fps,                 quality,     bitRate,
                                currentSize,         currentDuration, totalDuration};
  // An exception of the handler reaches the job (also across the hand-over) and ends it.
  if (triggerEventInMainThread_)
    core::MainThread::Call([this] {
      if (OnProgress) OnProgress(*this, &progressInfo_);
    });
  else
    OnProgress(*this, &progressInfo_);
}

void TCustomEncoder::PreviewBitmapReady(TCustomFFmpeg& job, TBitmap& bitmap, int frameNumber,
                                        int64_t pts) {
  std::lock_guard<std::mutex> lock(previewBitmapLock_);
  if (!OnPreviewBitmap) return;
  previewInfo_ = TPreviewInfo{Jobs.IndexOf(&job), &bitmap, frameNumber, pts};
  if (triggerEventInMainThread_)
    core::MainThread::Call([this] {
      if (OnPreviewBitmap) OnPreviewBitmap(*this, previewInfo_);
    });
  else
    OnPreviewBitmap(*this, previewInfo_);
}

void TCustomEncoder::AudioHook(TCustomFFmpeg& job, uint8_t* samples, int64_t pts, int size,
                               int sampleRate, int channels, AVSampleFormat sampleFormat) {
  std::lock_guard<std::mutex> lock(audioHookLock_);
  if (OnAudioHook)
    OnAudioHook(*this, Jobs.IndexOf(&job), pts, samples, size, sampleRate, channels,
                sampleFormat);
}

void TCustomEncoder::VideoHook(bool input, TCustomFFmpeg& job, TBitmap& bitmap, int frameNumber,
                               int64_t pts, bool& update, bool& stopHook) {
  std::lock_guard<std::mutex> lock(videoHookLock_);
  TVideoHookEvent& handler = input ? OnVideoInputHook : OnVideoOutputHook;
  if (!handler) {
    update = false;  // nobody drew on the bitmap: the frame stays exactly as it was
    return;
  }
  hookInfo_ = THookInfo{Jobs.IndexOf(&job), &bitmap, frameNumber, pts, update, stopHook};
  handler(*this, &hookInfo_);
  update = hookInfo_.Update;
  stopHook = hookInfo_.StopHook;
}

}  // namespace engine
