#pragma once
// The HTTP transfer component: fetches one resource over HTTP, HTTPS or from a local
// "file:" address on a worker thread, into memory or into an output file, and reports
// headers, progress, completion and each kind of failure through events.
//
// Events run on the main thread unless noted; a worker that raises one waits until the
// handler has returned. OnStatus, OnRedirected and OnBeforeSendRequest run on the worker
// and must not touch the user interface.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http/CurlRequest.h"
#include "http/HttpDate.h"
#include "http/HttpStreams.h"
#include "http/HttpUrl.h"
#include "http/WinHTTPTypes.h"
#include "http/WinThread.h"

namespace http {

class TWinLoginComponent {
 public:
  virtual ~TWinLoginComponent() = default;
  std::string Username;
  std::string Password;
};

class TCustomWinHTTP : public TWinLoginComponent {
 public:
  TCustomWinHTTP();
  ~TCustomWinHTTP() override;
  TCustomWinHTTP(const TCustomWinHTTP&) = delete;
  TCustomWinHTTP& operator=(const TCustomWinHTTP&) = delete;

  // ---- operations ----
  bool StartTransfer(bool ForceWait = false) { return StartTransferRange(0, 0, ForceWait); }
  // False when a transfer of this object has not completed yet, or (in wait mode) when a
  // wait period expired and the transfer was stopped.
  bool StartTransferRange(uint32_t StartPos, uint32_t EndPos, bool ForceWait = false);
  void AbortTransfer(bool DeleteOutputFile, bool Immediately);
  bool IsBusy() const;

  // ---- properties ----
  std::string URL;
  std::string AcceptTypes = kDefaultAcceptTypes;
  std::vector<std::string> AddHeaders;
  std::string Agent = kDefaultAgent;
  std::string Referer;
  std::string POSTData;
  TWinHTTPRequestMethod RequestMethod = rmAutoDetect;
  std::string OutputFileName;
  TWinHTTPOutputFileAttributes OutputFileAttributes;
  TWinHTTPRange Range;
  TWinHTTPTimeouts Timeouts;
  TWinHTTPProxy Proxy;
  TCacheOptions CacheOptions = {coReloadIfNoExpireInformation, coReloadUpdatedObjects,
                                coCreateTempFilesIfCantCache};
  TInternetOptions InternetOptions = {ioKeepConnection};
  bool ShowGoOnlineMessage = false;  // Linux has no system offline mode to leave
  bool WorkOffline = false;          // network addresses fail at once; "file:" still works
  TThreadPriority ThreadPriority = tpNormal;
  int32_t TransferBufferSize = 4096;  // bytes per block, at least 255
  bool WaitThread = false;
  int32_t WaitTimeout = 0;
  // The most bytes a body collected in memory may take; going past it fails the
  // transfer (OnAnyError, the reason in LastErrorText). 0: no limit. Output files are
  // not limited.
  int64_t MaxMemorySize = 0;
  // No byte received or sent for this many milliseconds ends the transfer as a time-out,
  // in every phase: connecting, waiting for the answer, receiving the body. 0: no limit.
  uint32_t StallTimeout = 60000;
  bool StoresAcceptTypes() const { return AcceptTypes != kDefaultAcceptTypes; }

  // ---- events ----
  using Sender = TCustomWinHTTP&;
  std::function<void(Sender, void* hRequest)> OnBeforeSendRequest;                      // worker
  std::function<void(Sender, int StatusCode, const std::string& StatusText)> OnStatus;  // worker
  std::function<void(Sender, const std::string& NewURL)> OnRedirected;                  // worker
  // URL is the address that asks. After a redirect to another origin the credentials
  // held before the call are not sent there: only ones the handler sets for it.
  std::function<void(Sender, const std::string& Realm, const std::string& URL, bool& TryAgain)>
      OnPasswordRequest;
  std::function<void(Sender, std::string& ProxyUsername, std::string& ProxyPassword,
                     bool& TryAgain)>
      OnProxyAuthenticationRequest;
  std::function<void(Sender, int ErrorCode, const std::string& RawHeadersCRLF,
                     const std::string& ContentType, const std::string& ContentLanguage,
                     const std::string& ContentEncoding, int64_t ContentLength,
                     const std::string& Location, TDateTime Date, TDateTime LastModified,
                     TDateTime Expires, const std::string& ETag, bool& ContinueDownload)>
      OnHeaderInfo;
  std::function<void(Sender, const std::string& ContentType, int64_t DataSize, int64_t BytesRead,
                     uint32_t ElapsedTime, int32_t EstimatedTimeLeft, uint8_t PercentsDone,
                     float TransferRate, THttpStream* Stream)>
      OnProgress;
  // Stream is the memory stream at position 0, or null for file output; valid only while
  // the handler runs.
  std::function<void(Sender, const std::string& ContentType, int64_t FileSize, THttpStream* Stream)>
      OnDone;
  std::function<void(Sender, const std::string& ContentType, int64_t FileSize, int64_t BytesRead,
                     THttpStream* Stream)>
      OnConnLost;
  std::function<void(Sender)> OnHostUnreachable;
  std::function<void(Sender, int ErrorCode, THttpStream* Stream)> OnHTTPError;
  std::function<void(Sender)> OnAnyError;
  std::function<void(Sender)> OnOutputFileError;
  std::function<void(Sender)> OnAborted;
  std::function<void(Sender)> OnDoneInterrupted;
  std::function<void(Sender, bool& TerminateThread)> OnWaitTimeoutExpired;
  // Part of the interface for uploads, which this component never makes: never raised.
  std::function<void(Sender)> OnUploadProgress;
  std::function<void(Sender)> OnUploadFieldRequest;
  std::function<void(Sender)> OnUploadCGITimeoutFailed;

  // ---- state of the last transfer (read on the main thread between events) ----
  int StatusCode() const { return statusCode_; }
  const std::string& ContentType() const { return contentType_; }
  int64_t DataSize() const { return dataSize_; }
  int64_t BytesRead() const { return bytesRead_; }
  const std::string& RawHeaders() const { return rawHeaders_; }
  uint8_t PercentsDone() const { return percentsDone_; }
  uint32_t ElapsedTime() const { return elapsedTime_; }
  int32_t EstimatedTimeLeft() const { return estimatedTimeLeft_; }
  float TransferRate() const { return transferRate_; }
  // What went wrong, in words, for the last failure (empty when nothing did).
  const std::string& LastErrorText() const { return lastError_; }
  // The last transfer ended because the server went silent (StallTimeout or the
  // receive and send time-outs).
  bool TimedOut() const { return timedOut_; }
  // The worker wrapper (its priority report, for instance).
  TCustomWinThread& Thread() { return thread_; }

 private:
  struct AbortRequested {};  // a stop request seen at a check point

  // ---- on the worker ----
  void Transfer();
  void TransferSteps();
  void TransferLocalFile();
  void TransferNetwork();
  void CheckPoint();
  void RaiseStatus(int code);
  RequestSettings MakeSettings(bool probe) const;
  HeadVerdict OnResponseHead(const ResponseHead& head);
  bool OnResponseBody(const char* data, size_t size);
  bool ProcessBlock(const char* data, size_t size);
  bool FlushBlock();
  bool WriteOutput(const char* data, size_t size);
  bool RefuseUnsafeSettings();
  bool SetUpOutput();
  void KeepPendingBytes();
  void DropReplacement();
  void SettleSuccess();
  // ---- on the main thread ----
  void Complete();
  void CloseOutput();
  void AbortCleanup();
  void ResetAfterRun();

  TCustomWinThread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> busy_{false};
  bool destroying_ = false;
  bool completing_ = false;

  // Transfer state.
  bool success_ = false;
  bool tryAgain_ = false;
  bool outputIsFile_ = false;
  bool continueDownload_ = true;
  bool deleteOnAbort_ = false;
  std::unique_ptr<THttpStream> output_;
  std::unique_ptr<THttpStream> abortedOutput_;
  std::vector<char> buffer_;
  size_t bufferFill_ = 0;
  size_t bufferSize_ = 4096;
  int64_t dataSize_ = 0;
  int64_t bytesRead_ = 0;
  uint32_t startTick_ = 0;
  int64_t startPos_ = 0;
  int64_t endPos_ = 0;
  int localFile_ = -1;
  std::string rawHeaders_, contentType_, contentLanguage_, contentEncoding_, location_, eTag_;
  TDateTime date_ = 0, lastModified_ = 0, expires_ = 0;
  uint8_t percentsDone_ = 0;
  uint32_t elapsedTime_ = 0;
  int32_t estimatedTimeLeft_ = 0;
  float transferRate_ = -1.0f;
  int statusCode_ = -1;
  std::string lastError_;

  // Where the plain algorithm leaves a corner open.
  bool readFailed_ = false;         // the body ended in an error, not at its end
  bool refused_ = false;            // an answer, a setting or a size was refused; lastError_ says why
  bool timedOut_ = false;
  bool crossOrigin_ = false;        // a redirect left the first address's origin
  bool resumeAsked_ = false;        // the transfer was started from a position in the file
  std::string replacementPath_;     // a whole body replacing the partial file goes here first
  bool outputFailed_ = false;       // the output could not be written or kept consistent
  bool fileComplete_ = false;       // a resume found the file already complete
  bool outputCreatedHere_ = false;  // the output file did not hold earlier data
  bool verify_ = false;
  int outputRetries_ = 0;

  // The exchange in progress.
  UrlParts parts_;
  std::string wireUrl_;
  std::string user_, password_;
  bool sendCredentials_ = false;
  bool post_ = false;
  int redirects_ = 0;
  std::string pendingRedirect_;
  int pendingRedirectStatus_ = 0;
  bool pendingProbe_ = false;
  bool probing_ = false;
  int64_t probedLength_ = 0;
  bool pendingReconnect_ = false;
  bool endNow_ = false;
  bool delivering_ = false;
  bool fastPath_ = false;
};

// The component as it is used: every property and event above.
class TWinHTTP final : public TCustomWinHTTP {};

}  // namespace http
