#include "download/DownloadRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "appcore/FileNames.h"
#include "appcore/TimeText.h"
#include "core/MainThread.h"

namespace download {
namespace {

std::string readAll(http::THttpStream* stream) {
  if (!stream) return {};
  std::string text(static_cast<size_t>(std::max<int64_t>(0, stream->Size() - stream->Position())),
                   '\0');
  text.resize(stream->Read(text.data(), text.size()));
  return text;
}

std::string twoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

int64_t fileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

}  // namespace

std::string SizeText(int64_t bytes) {
  return twoDecimals(static_cast<double>(bytes) / 1048576.0) + "MB";
}

std::string SpeedText(int64_t bytesRead, uint32_t elapsedSeconds) {
  double kb = static_cast<double>(bytesRead) / 1024.0;
  if (elapsedSeconds != 0) kb /= elapsedSeconds;
  return twoDecimals(kb) + " KB/s";
}

std::string RenameToUniqueName(const std::string& from, const std::string& folder,
                               const std::string& name) {
  const std::string dir = app::WithTrailingSeparator(folder);
  for (int tries = 0; tries < 64; ++tries) {
    const std::string target = dir + app::UniqueFileName(name, dir);
    // Another program may take the name between the test and the move: the move itself
    // refuses to replace a file, and the next free name is tried.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      return target;
    }
    if (errno == EINVAL || errno == ENOSYS) {
      // A file system that cannot refuse to replace: test and move.
      struct stat st {};
      if (::lstat(target.c_str(), &st) == 0) continue;
      if (::rename(from.c_str(), target.c_str()) == 0) return target;
    }
    if (errno != EEXIST) return {};
  }
  errno = EEXIST;
  return {};
}

DownloadRun::DownloadRun(DownloadRunOptions options) : options_(std::move(options)) {
  for (http::TWinHTTP* h : {&pageHttp_, &infoHttp_, &videoHttp_}) {
    h->AcceptTypes = "*/*";
    // Certificates are verified: a page or a video must come from the server it names.
    h->InternetOptions = {http::ioKeepConnection};
    h->Agent = options_.Agent;
    h->StallTimeout = options_.StallTimeoutMs;
  }
  // Pages and documents are read in memory; the video goes to its file.
  pageHttp_.MaxMemorySize = options_.MaxDocumentSize;
  infoHttp_.MaxMemorySize = options_.MaxDocumentSize;
  videoHttp_.TransferBufferSize = std::max<int32_t>(255, options_.VideoBlockSize);
  extractor_.OnError = [this](const std::string& message) {
    Log("script: " + message);
    if (OnScriptError) OnScriptError(message);
  };
  Wire();
}

DownloadRun::~DownloadRun() {
  *alive_ = false;
  OnRowChanged = nullptr;
  OnLabelsChanged = nullptr;
  OnEntryEnded = nullptr;
  OnFinished = nullptr;
  OnLog = nullptr;
  OnScriptError = nullptr;
  StopDelay();
  const bool videoBusy = videoHttp_.IsBusy();
  for (http::TWinHTTP* h : {&pageHttp_, &infoHttp_, &videoHttp_}) {
    h->OnAborted = nullptr;
    h->AbortTransfer(false, true);
  }
  if (videoBusy) RemovePart();
}

bool DownloadRun::Idle() const {
  return !active_ && !pageHttp_.IsBusy() && !infoHttp_.IsBusy() && !videoHttp_.IsBusy();
}

bool DownloadRun::Start(http::TWinHTTP& h, uint32_t from) {
  // Starting may serve queued main-thread calls (a cancel among them): the transfer
  // counts as started before it is.
  active_ = &h;
  if (h.StartTransferRange(from, 0, false)) return true;
  if (active_ == &h) active_ = nullptr;
  return false;
}

void DownloadRun::Ended(http::TCustomWinHTTP& h) {
  if (active_ == &h) active_ = nullptr;
}

std::string DownloadRun::FailureText(http::TCustomWinHTTP& h) const {
  const int status = h.StatusCode();
  std::string text;
  if (status >= 300) text = "HTTP " + std::to_string(status);
  if (!h.LastErrorText().empty()) text += (text.empty() ? "" : ": ") + h.LastErrorText();
  if (text.empty()) text = "the transfer failed";
  return text;
}

void DownloadRun::Wire() {
  // ---- the watch page ----
  pageHttp_.OnProgress = [this](http::TCustomWinHTTP&, const std::string&, int64_t dataSize,
                                int64_t bytesRead, uint32_t elapsed, int32_t, uint8_t, float,
                                http::THttpStream*) {
    ShowDownloadProgress(kStatusFetchingPage, dataSize, SpeedText(bytesRead, elapsed));
  };
  pageHttp_.OnDone = [this](http::TCustomWinHTTP& h, const std::string&, int64_t,
                            http::THttpStream* stream) {
    Ended(h);
    const std::string page = readAll(stream);
    const std::string title = ExtractTitle(page);
    const int i = currentIndex_;
    if (!running_ || i < 0 || i >= static_cast<int>(rows_.size())) return;
    rows_[i].Caption = title;
    results_[i].Title = title;
    labels_.CurrentFile = title;
    RowChanged(i);
    LabelsChanged();
    const std::string info =
        InfoAddress(options_.ServiceDomain, ExtractVideoId(page, options_.ServiceDomain));
    ShowDownloadProgress({}, 0, {}, 0, info);
    if (cancelRequested_) {
      Queue(&DownloadRun::FinishDownloadRun);
      return;
    }
    infoHttp_.URL = info;
    if (!Start(infoHttp_)) EntryFailed("the information transfer did not start");
  };
  pageHttp_.OnAnyError = [this](http::TCustomWinHTTP& h) {
    Ended(h);
    EntryFailed(FailureText(h));
  };
  pageHttp_.OnAborted = [this](http::TCustomWinHTTP& h) {
    Ended(h);
    FinishDownloadRun();
  };

  // ---- the video-information document ----
  infoHttp_.OnDone = [this](http::TCustomWinHTTP& h, const std::string&, int64_t,
                            http::THttpStream* stream) {
    Ended(h);
    extractor_.Extract(readAll(stream), links_);
    std::string found;
    for (int itag : LinkTable::kItags) {
      if (!links_.Get(itag).empty()) found += " " + std::to_string(itag);
    }
    Log("links:" + (found.empty() ? std::string(" none") : found));
    if (cancelRequested_) {
      Queue(&DownloadRun::FinishDownloadRun);
      return;
    }
    QueueAfter(options_.PauseAfterExtraction, &DownloadRun::ContinueAfterExtraction);
  };
  infoHttp_.OnAnyError = [this](http::TCustomWinHTTP& h) {
    Ended(h);
    EntryFailed(FailureText(h));
  };
  infoHttp_.OnAborted = [this](http::TCustomWinHTTP& h) {
    Ended(h);
    FinishDownloadRun();
  };

  // ---- the video ----
  videoHttp_.OnProgress = [this](http::TCustomWinHTTP&, const std::string&, int64_t dataSize,
                                 int64_t bytesRead, uint32_t elapsed, int32_t timeLeft,
                                 uint8_t percent, float, http::THttpStream*) {
    labels_.Quality = QualityLongLabel(quality_.AttemptName(attempt_));
    ShowDownloadProgress(kStatusDownloading, dataSize, SpeedText(bytesRead, elapsed), percent, {},
                         elapsed, timeLeft);
  };
  videoHttp_.OnDone = [this](http::TCustomWinHTTP& h, const std::string&, int64_t,
                             http::THttpStream* stream) {
    Ended(h);
    const int i = currentIndex_;
    if (!running_ || i < 0 || i >= static_cast<int>(rows_.size())) return;
    if (stream) {
      // The body did not go to the file.
      lastReason_ = "the file \"" + partPath_ + "\" could not be written";
      outputFailed_ = true;
      Queue(&DownloadRun::AfterVideoFailure);
      return;
    }
    const std::string name = app::SanitizeFileName(rows_[i].Caption + quality_.AttemptExtension(attempt_));
    const std::string saved = RenameToUniqueName(partPath_, folder_, name);
    if (saved.empty()) {
      lastReason_ = "cannot save \"" + name + "\": " + std::strerror(errno);
      outputFailed_ = true;
      Queue(&DownloadRun::AfterVideoFailure);
      return;
    }
    partPath_.clear();
    downloadedFiles_.push_back(saved);
    results_[i].SavedPath = saved;
    Log("saved " + saved);
    ShowDownloadProgress(kStatusDone);
    ++succeededCount_;
    EntryEnded();
  };
  videoHttp_.OnConnLost = [this](http::TCustomWinHTTP&, const std::string&, int64_t, int64_t,
                                 http::THttpStream*) { connLost_ = true; };
  videoHttp_.OnOutputFileError = [this](http::TCustomWinHTTP&) { outputFailed_ = true; };
  videoHttp_.OnAnyError = [this](http::TCustomWinHTTP& h) {
    // The kind of failure is told by the events that follow this one: decide once the
    // component has finished.
    Ended(h);
    lastReason_ = FailureText(h);
    Queue(&DownloadRun::AfterVideoFailure);
  };
  videoHttp_.OnAborted = [this](http::TCustomWinHTTP& h) {
    Ended(h);
    RemovePart();
    FinishDownloadRun();
  };
}

void DownloadRun::Queue(Step step) {
  const std::shared_ptr<bool> alive = alive_;
  const unsigned generation = generation_;
  core::MainThread::Post([this, alive, generation, step] {
    if (*alive && generation == generation_ && running_) (this->*step)();
  });
}

void DownloadRun::QueueAfter(std::chrono::milliseconds delay, Step step) {
  StopDelay();
  if (delay.count() <= 0) {
    Queue(step);
    return;
  }
  delayCancelled_ = false;
  const std::shared_ptr<bool> alive = alive_;
  const unsigned generation = generation_;
  delayThread_ = std::thread([this, delay, alive, generation, step] {
    std::unique_lock<std::mutex> lock(delayMutex_);
    if (delaySignal_.wait_for(lock, delay, [this] { return delayCancelled_; })) return;
    core::MainThread::Post([this, alive, generation, step] {
      if (*alive && generation == generation_ && running_) (this->*step)();
    });
  });
}

void DownloadRun::StopDelay() {
  {
    std::lock_guard<std::mutex> lock(delayMutex_);
    delayCancelled_ = true;
  }
  delaySignal_.notify_all();
  if (delayThread_.joinable()) delayThread_.join();
}

void DownloadRun::StartDownloadRun(const std::vector<std::string>& addresses,
                                   const std::string& folder, const QualityPreference& quality) {
  if (running_) return;
  ++generation_;
  running_ = true;
  cancelRequested_ = false;
  addresses_ = addresses;
  folder_ = app::WithTrailingSeparator(folder);
  quality_ = quality;
  downloadedFiles_.clear();
  rows_.clear();
  results_.clear();
  for (const std::string& address : addresses_) {
    DownloadRow row;
    row.Caption = address;
    rows_.push_back(row);
    EntryResult result;
    result.Address = address;
    results_.push_back(result);
  }
  labels_ = {};
  totalCount_ = static_cast<int>(rows_.size());
  currentIndex_ = 0;
  succeededCount_ = 0;
  attempt_ = 0;
  RowChanged(-1);
  LabelsChanged();
  Queue(&DownloadRun::ProcessCurrentEntry);
}

void DownloadRun::Cancel() {
  if (!running_) return;
  if (!cancelRequested_) Log("cancelled");
  cancelRequested_ = true;
  StopDelay();
  if (!active_) {
    // Between transfers (the pause after extraction, a queued step) nothing would abort:
    // the run ends at once.
    Queue(&DownloadRun::FinishIfIdle);
    return;
  }
  if (active_->IsBusy()) {
    // Its OnAborted ends the run; a transfer that completes first leads to a step that
    // sees the cancel.
    active_->AbortTransfer(false, false);
    return;
  }
  // Started, but its worker does not run yet: ask again in a moment.
  QueueAfter(std::chrono::milliseconds(10), &DownloadRun::Cancel);
}

void DownloadRun::FinishIfIdle() {
  if (!active_) {
    FinishDownloadRun();
  } else {
    Cancel();
  }
}

void DownloadRun::ShowDownloadProgress(const std::string& status, int64_t size,
                                       const std::string& speed, int percent,
                                       const std::string& url, int64_t elapsed,
                                       int64_t timeLeft) {
  const int i = currentIndex_;
  if (!running_ || i < 0 || i >= static_cast<int>(rows_.size())) return;
  DownloadRow& row = rows_[i];
  if (!status.empty()) {
    row.Status = status;
    results_[i].Status = status;
    labels_.Status = status;
  }
  if (size != 0) row.Size = SizeText(size);
  if (!speed.empty()) {
    row.Speed = speed;
    labels_.Speed = speed;
  }
  if (percent != 0) {
    row.Progress = std::to_string(percent) + "%";
    labels_.ProgressPosition = percent;
    labels_.ProgressText = row.Progress;
  }
  if (!url.empty()) row.Url = url;
  if (elapsed != 0) labels_.Elapsed = app::FormatSeconds(elapsed);
  if (timeLeft != 0) labels_.TimeLeft = app::FormatSeconds(timeLeft);
  RowChanged(i);
  LabelsChanged();
}

void DownloadRun::ProcessCurrentEntry() {
  links_.Clear();
  if (cancelRequested_) {
    FinishDownloadRun();
    return;
  }
  if (currentIndex_ >= totalCount_) return;
  labels_.CurrentFile = rows_[currentIndex_].Caption;
  LabelsChanged();
  pageHttp_.URL = addresses_[currentIndex_];
  if (!Start(pageHttp_)) EntryFailed("the page transfer did not start");
}

void DownloadRun::ContinueAfterExtraction() {
  if (cancelRequested_) {
    FinishDownloadRun();
    return;
  }
  ShowDownloadProgress(kStatusAnalysed);
  labels_.ProgressPosition = 0;
  labels_.ProgressText = "0%";
  attempt_ = quality_.HighQuality ? 1 : 0;
  attemptFailures_.clear();
  labels_.Quality = QualityLongLabel(quality_.AttemptName(attempt_));
  LabelsChanged();
  StartVideoAttempt();
}

void DownloadRun::StartVideoAttempt() {
  const int i = currentIndex_;
  connLost_ = outputFailed_ = resumed_ = false;
  partPath_.clear();
  const std::string link = links_.Get(quality_.AttemptItag(attempt_));
  if (link.empty()) {
    lastReason_ = "no link for " + quality_.AttemptName(attempt_);
    Queue(&DownloadRun::AfterVideoFailure);
    return;
  }
  const std::string name =
      app::SanitizeFileName(rows_[i].Caption + quality_.AttemptExtension(attempt_)) + ".part";
  partPath_ = folder_ + app::UniqueFileName(name, folder_);
  videoHttp_.URL = link;
  videoHttp_.OutputFileName = partPath_;
  if (!Start(videoHttp_)) {
    lastReason_ = "the video transfer did not start";
    partPath_.clear();
    Queue(&DownloadRun::AfterVideoFailure);
  }
}

void DownloadRun::AfterVideoFailure() {
  if (cancelRequested_) {
    RemovePart();
    FinishDownloadRun();
    return;
  }
  if (outputFailed_) {
    // The disk, not the quality, failed: another quality would fail the same way.
    RemovePart();
    EntryFailed(lastReason_);
    return;
  }
  if (connLost_ && !resumed_ && !partPath_.empty()) {
    const int64_t have = fileSize(partPath_);
    if (have > 0 && have <= 0xFFFFFFFFLL) {
      resumed_ = true;
      connLost_ = false;
      Log("connection lost after " + std::to_string(have) + " bytes; resuming " +
          videoHttp_.URL);
      if (Start(videoHttp_, static_cast<uint32_t>(have))) return;
    }
  }
  const bool hadLink = !partPath_.empty() || resumed_;
  RemovePart();
  Log("attempt " + quality_.AttemptName(attempt_) + " failed: " + lastReason_);
  if (hadLink) {
    attemptFailures_ += (attemptFailures_.empty() ? "" : "; ") + quality_.AttemptName(attempt_) +
                        ": " + lastReason_;
  }
  if (quality_.HighQuality) {
    TryNextQuality();
  } else {
    EntryFailed(lastReason_);
  }
}

void DownloadRun::TryNextQuality() {
  ++attempt_;
  if (attempt_ >= 9) {
    EntryFailed(attemptFailures_.empty() ? "no quality has a link"
                                          : "no quality could be downloaded: " + attemptFailures_);
    return;
  }
  labels_.Quality =
      quality_.AttemptName(attempt_ - 1) + kQualityFallback + quality_.AttemptName(attempt_);
  labels_.ProgressPosition = 0;
  labels_.ProgressText = "0%";
  LabelsChanged();
  StartVideoAttempt();
}

void DownloadRun::EntryFailed(const std::string& reason) {
  const int i = currentIndex_;
  if (!running_ || i < 0 || i >= static_cast<int>(rows_.size())) return;
  ShowDownloadProgress(kStatusFailed);
  rows_[i].Note = reason;
  results_[i].Error = reason;
  RowChanged(i);
  Log(addresses_[i] + ": " + reason);
  EntryEnded();
}

void DownloadRun::EntryEnded() {
  const int ended = currentIndex_;
  ++currentIndex_;
  if (OnEntryEnded) OnEntryEnded(ended);
  if (!running_) return;
  if (currentIndex_ >= totalCount_) {
    FinishDownloadRun();
  } else {
    Queue(&DownloadRun::ProcessCurrentEntry);
  }
}

void DownloadRun::FinishDownloadRun() {
  if (!running_) return;
  running_ = false;
  ++generation_;
  StopDelay();
  links_.Clear();
  rows_.clear();
  labels_ = {};
  RowChanged(-1);
  LabelsChanged();
  Log("run ended: " + std::to_string(totalCount_) + " total, " + std::to_string(succeededCount_) +
      " saved, " + std::to_string(FailedCount()) + " failed");
  if (OnFinished) OnFinished();
}

void DownloadRun::RemovePart() {
  if (partPath_.empty()) return;
  ::unlink(partPath_.c_str());
  partPath_.clear();
}

void DownloadRun::Log(const std::string& line) {
  if (OnLog) OnLog(line);
}

void DownloadRun::RowChanged(int row) {
  if (OnRowChanged) OnRowChanged(row);
}

void DownloadRun::LabelsChanged() {
  if (OnLabelsChanged) OnLabelsChanged();
}

}  // namespace download
