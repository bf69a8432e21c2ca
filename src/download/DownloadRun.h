#pragma once
// The download run: works through the listed video page addresses one at a time. For
// each it fetches the watch page (title, identifier), the video-information document
// (links, through the extraction script) and then the video in the preferred quality,
// falling back through the preference order when an attempt fails, and saves the file
// under a name made from the title. When the list is done, or the run is cancelled, the
// summary follows.
//
// Everything here runs on the main thread: the transfers' events arrive there, and the
// chained steps (the next entry, the next quality) are queued to it so that they start
// after the current handler has returned. The windows and the command line show the run
// through its rows, its labels and its events; they never drive it otherwise.
//
// A video streams into "<name>.part" in the download folder and is renamed when it is
// complete, to a name made unique at that moment. A failed or cancelled attempt removes
// its .part; a connection lost half way is resumed once from the .part before the attempt
// counts as failed.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/LinkExtraction.h"
#include "download/QualityPreference.h"
#include "http/WinHTTP.h"

namespace download {

// The texts of the run.
inline constexpr const char* kStatusWaiting = "等待...";
inline constexpr const char* kStatusFetchingPage = "获取YouTube网址，请稍候...";
inline constexpr const char* kStatusAnalysed = "分析完毕，准备下载...";
inline constexpr const char* kStatusDownloading = "正在下载...";
inline constexpr const char* kStatusDone = "完成。";
inline constexpr const char* kStatusFailed = "失败。";
inline constexpr const char* kQualityFallback = " 失败, 尝试下一步: ";

// One row of the download list: the caption (the address, then the title) and the
// sub-items. Note is the seventh column: why the entry failed.
struct DownloadRow {
  std::string Caption;
  std::string Status = kStatusWaiting;
  std::string Size = "0 KB";
  std::string Speed = "0 KB/s";
  std::string Progress = "0%";
  std::string Url = "...";
  std::string Note;
};

// The fields of the progress group.
struct DownloadLabels {
  std::string CurrentFile = "...";
  std::string Status = "...";
  std::string Speed = "...";
  std::string Elapsed = "...";
  std::string TimeLeft = "...";
  std::string Quality = "...";
  int ProgressPosition = 0;
  std::string ProgressText = "0%";
};

// What became of one entry; kept after the run (the rows are cleared at its end).
struct EntryResult {
  std::string Address;
  std::string Title;
  std::string Status = kStatusWaiting;
  std::string SavedPath;  // empty unless saved
  std::string Error;      // why it failed
};

struct DownloadRunOptions {
  std::string ServiceDomain = "youtube.com";
  std::string Agent = "[Wizconv]";  // the product name in square brackets
  // The pause after the links were extracted, before the video is asked for.
  std::chrono::milliseconds PauseAfterExtraction{1500};
  // Bytes per progress report of a video transfer.
  int32_t VideoBlockSize = 256 * 1024;
  // The most a watch page or an information document may take in memory.
  int64_t MaxDocumentSize = 8 * 1024 * 1024;
  // A server silent for this long ends the transfer, whichever it is.
  uint32_t StallTimeoutMs = 60000;
};

// "12.34MB" of a byte count; "12.34 KB/s" of bytes read over whole seconds.
std::string SizeText(int64_t bytes);
std::string SpeedText(int64_t bytesRead, uint32_t elapsedSeconds);

// Moves `from` to folder + a free name made from `name` (UniqueFileName), never replacing
// a file that is there. Returns the new path, or an empty text with errno set.
std::string RenameToUniqueName(const std::string& from, const std::string& folder,
                               const std::string& name);

class DownloadRun {
 public:
  explicit DownloadRun(DownloadRunOptions options = {});
  ~DownloadRun();
  DownloadRun(const DownloadRun&) = delete;
  DownloadRun& operator=(const DownloadRun&) = delete;

  // Starts a run over the addresses into the folder (which exists and ends with "/"),
  // with the quality mode and order as they are now. Does nothing while a run is going.
  void StartDownloadRun(const std::vector<std::string>& addresses, const std::string& folder,
                        const QualityPreference& quality);
  // Ends the run as soon as possible: the running transfer is aborted, and a run between
  // transfers ends at its next step. The summary follows as for a finished run.
  void Cancel();
  bool Running() const { return running_; }
  // No transfer of the run is started or busy (a new run may start).
  bool Idle() const;

  // Shows progress in the current row and the labels; each part only when given (a text
  // not empty, a number not 0).
  void ShowDownloadProgress(const std::string& status, int64_t size = 0,
                            const std::string& speed = {}, int percent = 0,
                            const std::string& url = {}, int64_t elapsed = 0,
                            int64_t timeLeft = 0);

  int TotalCount() const { return totalCount_; }
  int CurrentIndex() const { return currentIndex_; }
  int SucceededCount() const { return succeededCount_; }
  int FailedCount() const { return totalCount_ - succeededCount_; }
  int Attempt() const { return attempt_; }
  const std::vector<std::string>& DownloadedFiles() const { return downloadedFiles_; }
  const std::vector<DownloadRow>& Rows() const { return rows_; }
  const DownloadLabels& Labels() const { return labels_; }
  const std::vector<EntryResult>& Results() const { return results_; }
  const LinkTable& Links() const { return links_; }
  const std::string& Folder() const { return folder_; }
  const DownloadRunOptions& Options() const { return options_; }
  // The script runner (its time limit may be changed).
  LinkExtractor& Extractor() { return extractor_; }

  // ---- events, on the main thread ----
  // A row changed; -1 when the whole list changed (filled or cleared).
  std::function<void(int row)> OnRowChanged;
  std::function<void()> OnLabelsChanged;
  // An entry was saved or failed (its Results() entry is final).
  std::function<void(int entry)> OnEntryEnded;
  // The run is over: show the summary. The rows and labels are already reset.
  std::function<void()> OnFinished;
  // A line for the log.
  std::function<void(const std::string& line)> OnLog;
  // A script error, as its message box shows it.
  std::function<void(const std::string& message)> OnScriptError;

 private:
  using Step = void (DownloadRun::*)();
  void Queue(Step step);
  void QueueAfter(std::chrono::milliseconds delay, Step step);
  void StopDelay();

  void ProcessCurrentEntry();
  void ContinueAfterExtraction();
  void StartVideoAttempt();
  void AfterVideoFailure();
  void TryNextQuality();
  void EntryFailed(const std::string& reason);
  void EntryEnded();
  void FinishDownloadRun();
  void FinishIfIdle();
  bool Start(http::TWinHTTP& h, uint32_t from = 0);
  void Ended(http::TCustomWinHTTP& h);
  void RemovePart();
  void Log(const std::string& line);
  void RowChanged(int row);
  void LabelsChanged();
  std::string FailureText(http::TCustomWinHTTP& h) const;
  void Wire();

  DownloadRunOptions options_;
  http::TWinHTTP pageHttp_;   // the watch page
  http::TWinHTTP infoHttp_;   // the video-information document
  http::TWinHTTP videoHttp_;  // the video
  LinkExtractor extractor_;
  LinkTable links_;
  QualityPreference quality_;

  std::vector<std::string> addresses_;
  std::string folder_;
  std::vector<DownloadRow> rows_;
  std::vector<EntryResult> results_;
  DownloadLabels labels_;
  std::vector<std::string> downloadedFiles_;
  int totalCount_ = 0;
  int currentIndex_ = 0;
  int succeededCount_ = 0;
  int attempt_ = 0;

  bool running_ = false;
  bool cancelRequested_ = false;
  // The transfer started last, until its final event: a component reports itself busy
  // only once its worker runs, and an abort asked before that would be lost.
  http::TCustomWinHTTP* active_ = nullptr;
  unsigned generation_ = 0;  // queued steps of an earlier run are dropped
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  // The attempt in progress.
  std::string partPath_;
  std::string lastReason_;
  std::string attemptFailures_;  // "[HQ18]: reason; ..." of the attempts that had a link
  bool connLost_ = false;
  bool outputFailed_ = false;
  bool resumed_ = false;

  // The pause after extraction runs on a helper thread that then queues the next step.
  std::thread delayThread_;
  std::mutex delayMutex_;
  std::condition_variable delaySignal_;
  bool delayCancelled_ = false;
};

}  // namespace download
