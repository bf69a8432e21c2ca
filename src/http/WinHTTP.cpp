#include "http/WinHTTP.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include "http/HttpProgress.h"

namespace http {
namespace {

constexpr int kMaxRedirects = 20;
// The network reads in bigger pieces than the default block; blocks are cut from them.
constexpr long kMinNetworkBuffer = 128 * 1024;
constexpr long kMaxNetworkBuffer = 10 * 1024 * 1024;
// Memory output is pre-sized to the announced length, up to this much; a server that
// announces more must actually send it before it gets the memory.
constexpr int64_t kMaxReserve = 512LL * 1024 * 1024;

uint32_t tickMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A Content-Length value; 0 when it is not a plain decimal number.
int64_t parseLength(const std::string& text) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return 0;
  return value;
}

// The first byte position of a Content-Range value ("bytes 100-199/1000"); -1 when the
// value is not of that form.
int64_t rangeStartOf(const std::string& value) {
  const size_t unit = value.find_first_not_of(" \t");
  if (unit == std::string::npos || value.size() < unit + 6) return -1;
  std::string head = value.substr(unit, 6);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (head != "bytes ") return -1;
  const size_t first = value.find_first_not_of(' ', unit + 6);
  if (first == std::string::npos) return -1;
  int64_t start = -1;
  auto [end, ec] = std::from_chars(value.data() + first, value.data() + value.size(), start);
  if (ec != std::errc() || end == value.data() + value.size() || *end != '-') return -1;
  return start;
}

// The headers that carry credentials for an origin; they go no further than it.
bool isCredentialHeader(const std::string& line) {
  const std::string name = line.substr(0, line.find(':'));
  size_t b = 0, e = name.size();
  while (b < e && (name[b] == ' ' || name[b] == '\t')) ++b;
  while (e > b && (name[e - 1] == ' ' || name[e - 1] == '\t')) --e;
  std::string lower = name.substr(b, e - b);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "authorization" || lower == "cookie" || lower == "proxy-authorization";
}

bool breaksLines(const std::string& value) {
  return value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string originOf(const std::string& url) {
  const size_t start = url.find("://");
  if (start == std::string::npos) return url;
  const size_t end = url.find_first_of("/?#", start + 3);
  return url.substr(0, end);
}

std::string joinPort(const UrlParts& p) {
  return p.scheme + "://" + p.host + ":" + std::to_string(p.port);
}

// Runs a function when the scope ends, however it ends.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

TCustomWinHTTP::TCustomWinHTTP() {
  thread_.SetWorkHandler([this](TCustomWinThread&) { Transfer(); });
  thread_.SetErrorHandler([this] {
    if (OnAnyError) OnAnyError(*this);
  });
  thread_.SetTerminationHandler([this] { Complete(); });
  thread_.OnWaitTimeoutExpired = [this](TCustomWinThread&, bool& terminateThread) {
    if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(*this, terminateThread);
    if (terminateThread) {
      thread_.Stop(true);
      AbortCleanup();
    }
  };
  thread_.Loaded();
}

TCustomWinHTTP::~TCustomWinHTTP() {
  destroying_ = true;
  thread_.SetOwnerDestroying();
  if (thread_.IsExecuting()) thread_.Stop(true);
  if (localFile_ >= 0) ::close(localFile_);
  localFile_ = -1;
  CloseOutput();
  output_.reset();
  DropReplacement();
}

bool TCustomWinHTTP::StartTransferRange(uint32_t StartPos, uint32_t EndPos, bool ForceWait) {
  if (started_) return false;
  abortedOutput_.reset();
  started_ = true;
  busy_ = true;
  transferRate_ = -1.0f;
  startPos_ = StartPos;
  endPos_ = EndPos;
  thread_.WaitThread = ForceWait || WaitThread;
  thread_.WaitTimeout = WaitTimeout;
  thread_.SetPriority(ThreadPriority);
  return thread_.Run();
}

void TCustomWinHTTP::AbortTransfer(bool DeleteOutputFile, bool Immediately) {
  // During the completion handling the transfer is over; there is nothing left to abort.
  if (!thread_.IsExecuting() || completing_) return;
  deleteOnAbort_ = DeleteOutputFile;
  if (!Immediately) {
    thread_.Stop(false);
    return;
  }
  thread_.Stop(true);
  AbortCleanup();
  if (!destroying_ && OnAborted) OnAborted(*this);
}

bool TCustomWinHTTP::IsBusy() const { return thread_.IsExecuting(); }

// ---------------------------------------------------------------- worker

void TCustomWinHTTP::CheckPoint() {
  if (thread_.IsTerminated()) throw AbortRequested{};
}

void TCustomWinHTTP::RaiseStatus(int code) {
  if (thread_.IsStoppedHard()) return;
  if (OnStatus) OnStatus(*this, code, StatusText(code));
}

void TCustomWinHTTP::Transfer() {
  try {
    TransferSteps();
  } catch (const AbortRequested&) {
    if (thread_.IsStoppedHard()) throw WorkerStopped{};  // the one who stopped us cleans up
    KeepPendingBytes();
    AbortCleanup();
    if (!destroying_) {
      thread_.CallInMainThread([this] {
        if (OnAborted) OnAborted(*this);
      });
    }
    thread_.Stop(true);  // ends this worker; no completion handling
  }
}

void TCustomWinHTTP::TransferSteps() {
  statusCode_ = -1;
  contentType_.clear();
  rawHeaders_.clear();
  lastError_.clear();
  bufferSize_ = static_cast<size_t>(std::max<int32_t>(255, TransferBufferSize));
  startTick_ = tickMs();
  continueDownload_ = true;
  success_ = false;
  outputIsFile_ = false;
  dataSize_ = 0;
  bytesRead_ = 0;
  readFailed_ = outputFailed_ = fileComplete_ = outputCreatedHere_ = verify_ = false;
  refused_ = timedOut_ = crossOrigin_ = false;
  resumeAsked_ = startPos_ != 0;
  outputRetries_ = 0;
  redirects_ = 0;
  percentsDone_ = 0;
  elapsedTime_ = 0;
  estimatedTimeLeft_ = 0;

  const bool cracked = CrackUrl(WithDefaultScheme(URL), parts_);
  user_ = parts_.user.empty() ? Username : parts_.user;
  password_ = parts_.password.empty() ? Password : parts_.password;
  CheckPoint();
  if (!cracked) {
    lastError_ = "the address \"" + URL + "\" cannot be read";
    return;
  }
  if (parts_.scheme == "file") {
    TransferLocalFile();
  } else {
    TransferNetwork();
  }
}

void TCustomWinHTTP::TransferLocalFile() {
  const std::string path = DecodeEscapes(parts_.path);
  if (!parts_.host.empty() && parts_.host != "localhost") {
    lastError_ = "a file address must name a local file";
    return;
  }
  localFile_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (localFile_ >= 0 && (fstat(localFile_, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(localFile_);
    localFile_ = -1;
  }
  if (localFile_ < 0) {
    statusCode_ = 404;
    dataSize_ = 0;
    lastError_ = "cannot open \"" + path + "\"";
  } else {
    statusCode_ = 200;
    // The length still to come, as for a partial answer: a read from StartPos is complete
    // when it reaches the end of the file.
    dataSize_ = std::max<int64_t>(0, st.st_size - startPos_);
    if (startPos_ != 0) ::lseek(localFile_, startPos_, SEEK_SET);
  }
  CheckPoint();
  if (localFile_ >= 0 && !OutputFileName.empty() && sameFile(path, OutputFileName)) {
    lastError_ = "the output file is the file being read";
    outputFailed_ = true;
    return;
  }
  if (!SetUpOutput()) {
    if (pendingReconnect_) outputFailed_ = true;  // a local file cannot be asked again
    return;
  }
  for (;;) {
    CheckPoint();
    if (localFile_ < 0) break;
    ssize_t r;
    do {
      r = ::read(localFile_, buffer_.data(), bufferSize_);
    } while (r < 0 && errno == EINTR);
    if (r < 0) readFailed_ = true;
    if (r <= 0) break;
    if (!ProcessBlock(buffer_.data(), static_cast<size_t>(r))) {
      if (pendingReconnect_) outputFailed_ = true;
      return;
    }
  }
  SettleSuccess();
}

RequestSettings TCustomWinHTTP::MakeSettings(bool probe) const {
  RequestSettings s;
  s.url = wireUrl_;
  s.post = post_;
  if (post_) s.body = POSTData;
  for (const std::string& line : AddHeaders) {
    if (line.empty()) continue;
    if (crossOrigin_ && isCredentialHeader(line)) continue;
    s.headers.push_back(line);
  }
  if (CacheOptions.count(coPragmaNoCache)) s.headers.push_back("Pragma: no-cache");
  auto rangeLine = [](uint64_t start, uint64_t end) {
    return "RANGE: bytes=" + std::to_string(start) + "-" + (end ? std::to_string(end) : "");
  };
  if (probe) {
    s.headers.push_back(rangeLine(0, 0));
  } else if (startPos_ != 0 || endPos_ != 0) {
    s.headers.push_back(rangeLine(startPos_, endPos_));
  } else if (Range.StartRange != 0 || Range.EndRange != 0) {
    s.headers.push_back(rangeLine(Range.StartRange, Range.EndRange));
  }
  s.agent = Agent;
  s.referer = Referer;
  s.accept = AcceptTypes;
  s.sendCredentials = sendCredentials_;
  s.username = user_;
  s.password = password_;
  switch (Proxy.AccessType) {
    case atPreconfig:
      s.proxyMode = RequestSettings::ProxyMode::System;
      break;
    case atDirect:
      s.proxyMode = RequestSettings::ProxyMode::Direct;
      break;
    case atUseProxy:
      s.proxyMode = RequestSettings::ProxyMode::Named;
      s.proxy = Proxy.ProxyServer + ":" + std::to_string(Proxy.ProxyPort);
      for (char c : Proxy.ProxyBypass) s.noProxy += c == ';' ? ',' : c;
      while (!s.noProxy.empty() && s.noProxy.back() == ',') s.noProxy.pop_back();
      break;
  }
  if (Proxy.AccessType != atDirect && !Proxy.ProxyUsername.empty() &&
      !Proxy.ProxyPassword.empty()) {
    s.proxyUsername = Proxy.ProxyUsername;
    s.proxyPassword = Proxy.ProxyPassword;
  }
  s.connectTimeoutMs = Timeouts.ConnectTimeout;
  s.receiveTimeoutMs = Timeouts.ReceiveTimeout;
  s.sendTimeoutMs = Timeouts.SendTimeout;
  s.stallTimeoutMs = StallTimeout;
  s.verifyPeer = !InternetOptions.count(ioIgnoreUnknownCertificateAuthority);
  s.verifyHost = !InternetOptions.count(ioIgnoreCertificateInvalid);
  s.cookies = !InternetOptions.count(ioNoCookies);
  s.keepConnection = InternetOptions.count(ioKeepConnection) > 0;
  s.networkBufferSize =
      std::clamp<long>(static_cast<long>(bufferSize_), kMinNetworkBuffer, kMaxNetworkBuffer);
  return s;
}

bool TCustomWinHTTP::RefuseUnsafeSettings() {
  // A line break or NUL in any of these would end a request line early and let the
  // rest become header lines of its own (or cut the value short).
  const std::pair<const char*, const std::string*> fields[] = {
      {"Agent", &Agent},
      {"Referer", &Referer},
      {"AcceptTypes", &AcceptTypes},
      {"Username", &Username},
      {"Password", &Password},
      {"Username", &user_},
      {"Password", &password_},
      {"ProxyServer", &Proxy.ProxyServer},
      {"ProxyBypass", &Proxy.ProxyBypass},
      {"ProxyUsername", &Proxy.ProxyUsername},
      {"ProxyPassword", &Proxy.ProxyPassword},
  };
  const char* bad = nullptr;
  for (const auto& [name, value] : fields) {
    if (breaksLines(*value)) {
      bad = name;
      break;
    }
  }
  for (const std::string& line : AddHeaders) {
    if (!bad && breaksLines(line)) bad = "AddHeaders";
  }
  if (!bad) return false;
  refused_ = true;
  lastError_ = std::string(bad) + " holds a line break or a NUL character; nothing was sent";
  return true;
}

void TCustomWinHTTP::TransferNetwork() {
  if (parts_.scheme != "http" && parts_.scheme != "https") {
    lastError_ = "addresses starting with \"" + parts_.scheme + ":\" cannot be fetched";
    return;
  }
  if (parts_.host.empty()) {
    lastError_ = "the address \"" + URL + "\" names no host";
    return;
  }
  if (WorkOffline) {
    lastError_ = "working offline";
    return;
  }
  CurlRequest request;
  request.stopRequested = [this] { return thread_.IsTerminated(); };
  request.onStatus = [this](int phase) { RaiseStatus(phase); };
  request.onHead = [this](const ResponseHead& head) { return OnResponseHead(head); };
  request.onBody = [this](const char* data, size_t size) { return OnResponseBody(data, size); };
  RaiseStatus(kHandleCreated);
  ScopeExit handleClosing([this] {
    try {
      RaiseStatus(kHandleClosing);
    } catch (...) {
      // A handler that throws while the transfer winds down has nothing left to stop.
    }
  });

  wireUrl_ = joinPort(parts_) + EscapeForWire(parts_.path) + EscapeForWire(parts_.extra);
  const std::string firstOrigin = originOf(wireUrl_);
  post_ = RequestMethod == rmPOST || (RequestMethod == rmAutoDetect && !POSTData.empty());
  sendCredentials_ = !user_.empty() && !InternetOptions.count(ioNoAuthentication);

  for (;;) {  // connect (again)
    CheckPoint();
    CheckPoint();
    CheckPoint();
    if (OnBeforeSendRequest && !thread_.IsStoppedHard()) {
      OnBeforeSendRequest(*this, request.Handle());
    }
    bool reconnect = false;
    while (!reconnect) {  // send (again)
      CheckPoint();
      tryAgain_ = false;
      pendingRedirect_.clear();
      pendingProbe_ = pendingReconnect_ = endNow_ = delivering_ = false;
      if (RefuseUnsafeSettings()) return;
      const RequestEnd end = request.Perform(MakeSettings(false));
      if (request.TimedOut()) timedOut_ = true;
      if (end == RequestEnd::StopRequested) CheckPoint();
      if (end == RequestEnd::NoResponse) {
        lastError_ = request.ErrorText();
        return;
      }
      if (!pendingRedirect_.empty()) {
        ++redirects_;
        RaiseStatus(kRedirect);
        if (OnRedirected && !thread_.IsStoppedHard()) OnRedirected(*this, pendingRedirect_);
        if (pendingRedirectStatus_ == 303 || (post_ && pendingRedirectStatus_ <= 302))
          post_ = false;
        // Credentials belong to the address they came with, not to wherever it points.
        if (originOf(pendingRedirect_) != firstOrigin) {
          sendCredentials_ = false;
          crossOrigin_ = true;
        }
        wireUrl_ = pendingRedirect_;
        statusCode_ = -1;
        continue;
      }
      if (pendingProbe_) {
        probing_ = true;
        probedLength_ = 0;
        CheckPoint();
        request.Perform(MakeSettings(true));
        probing_ = false;
        CheckPoint();
        if (probedLength_ == startPos_) {
          fileComplete_ = true;
          return;
        }
        statusCode_ = -1;
        startPos_ = 0;
        request.CloseConnections();
        reconnect = true;
        continue;
      }
      if (tryAgain_) continue;
      // The last, partial block is processed now; it may still find the overlap wrong.
      if (delivering_ && !endNow_ && !outputFailed_ && !pendingReconnect_) FlushBlock();
      if (pendingReconnect_) {
        CloseOutput();
        output_.reset();
        outputIsFile_ = false;
        statusCode_ = -1;
        request.CloseConnections();
        reconnect = true;
        continue;
      }
      if (endNow_ || outputFailed_ || refused_) return;
      if (end == RequestEnd::BodyFailed) {
        readFailed_ = true;
        lastError_ = request.ErrorText();
      }
      SettleSuccess();
      return;
    }
  }
}

HeadVerdict TCustomWinHTTP::OnResponseHead(const ResponseHead& head) {
  if (probing_) {
    statusCode_ = head.status;
    if (head.status == 200 || head.status == 206) {
      probedLength_ = parseLength(head.Find("Content-Length").value_or(""));
    }
    return HeadVerdict::Stop;
  }
  statusCode_ = head.status;
  if (isRedirectStatus(head.status) && !InternetOptions.count(ioNoAutoRedirect) &&
      redirects_ < kMaxRedirects) {
    if (auto location = head.Find("Location")) {
      auto target =
          ResolveReference(wireUrl_, EscapeForWire(location->substr(0, location->find('#'))));
      // Leaving an encrypted address for a plain one is refused unless allowed.
      const bool downgrade =
          target && wireUrl_.rfind("https:", 0) == 0 && target->rfind("http:", 0) == 0;
      if (target && (!downgrade || InternetOptions.count(ioIgnoreRedirectToHTTP))) {
        pendingRedirect_ = *target;
        pendingRedirectStatus_ = head.status;
        return HeadVerdict::Discard;
      }
      if (downgrade) lastError_ = "a redirect from https to http was refused";
    }
  }
  if (head.status == 416 && startPos_ != 0) {
    pendingProbe_ = true;
    return HeadVerdict::Discard;
  }
  if (head.status == 401 && OnPasswordRequest) {
    std::string realm;
    if (auto value = head.Find("WWW-Authenticate")) {
      const size_t quote = value->find("=\"");
      realm =
          quote == std::string::npos ? *value : value->substr(quote + 2, value->size() - quote - 3);
    }
    contentType_ = realm;
    bool tryAgain = false;
    const std::string heldUser = Username, heldPassword = Password;
    const std::string asking = wireUrl_;
    thread_.CallInMainThread([&] { OnPasswordRequest(*this, realm, asking, tryAgain); });
    tryAgain_ = tryAgain;
    if (crossOrigin_ && Username == heldUser && Password == heldPassword) {
      // What was held belongs to the first origin; asking again without new credentials
      // would only send them where they do not belong.
      tryAgain_ = false;
    } else {
      user_ = Username;
      password_ = Password;
      sendCredentials_ = true;
    }
    if (tryAgain_) return HeadVerdict::Discard;
  }
  if (head.status == 407 && OnProxyAuthenticationRequest) {
    bool tryAgain = false;
    thread_.CallInMainThread([&] {
      OnProxyAuthenticationRequest(*this, Proxy.ProxyUsername, Proxy.ProxyPassword, tryAgain);
    });
    tryAgain_ = tryAgain;
    if (tryAgain_) return HeadVerdict::Discard;
  }

  CheckPoint();
  if (auto type = head.Find("Content-Type")) contentType_ = *type;
  const auto length = head.Find("Content-Length");
  dataSize_ = length ? parseLength(*length) : 0;
  success_ = length.has_value();
  rawHeaders_ = head.raw;
  // A partial answer (206) is one whatever its other headers say (nginx sends no
  // Accept-Ranges with it), but only one that starts where the file ends can continue
  // it. Any other answer is a whole body and starts at byte 0.
  if (head.status == 206 && startPos_ != 0) {
    const auto range = head.Find("Content-Range");
    const int64_t first = range ? rangeStartOf(*range) : -1;
    if (first != startPos_) {
      refused_ = true;
      if (!range) {
        lastError_ = "the partial answer carries no Content-Range";
      } else if (first < 0) {
        lastError_ = "the partial answer's Content-Range \"" + *range + "\" cannot be read";
      } else {
        lastError_ = "the server answered from byte " + std::to_string(first) +
                     ", not from the resume position " + std::to_string(startPos_);
      }
      endNow_ = true;
      return HeadVerdict::Stop;
    }
  }
  if (head.status != 206) startPos_ = 0;
  // The length of the whole resource must stay a 64-bit number.
  dataSize_ = std::min(dataSize_, INT64_MAX - startPos_);
  if (OnHeaderInfo) {
    contentLanguage_ = head.Find("Content-Language").value_or("");
    contentEncoding_ = head.Find("Content-Encoding").value_or("");
    location_ = head.Find("Location").value_or("");
    eTag_ = head.Find("ETag").value_or("");
    date_ = ParseHeaderDate(head.Find("Date").value_or(""));
    lastModified_ = ParseHeaderDate(head.Find("Last-Modified").value_or(""));
    expires_ = ParseHeaderDate(head.Find("Expires").value_or(""));
    bool goOn = true;
    thread_.CallInMainThread([&] {
      OnHeaderInfo(*this, statusCode_, rawHeaders_, contentType_, contentLanguage_,
                   contentEncoding_, dataSize_ + startPos_, location_, date_, lastModified_,
                   expires_, eTag_, goOn);
    });
    continueDownload_ = goOn;
    if (!continueDownload_) {
      endNow_ = true;
      return HeadVerdict::Stop;
    }
  }
  CheckPoint();
  if (!SetUpOutput()) {
    endNow_ = true;
    return HeadVerdict::Stop;
  }
  delivering_ = true;
  return HeadVerdict::Deliver;
}

bool TCustomWinHTTP::SetUpOutput() {
  CloseOutput();
  output_.reset();
  outputIsFile_ = false;
  bytesRead_ = 0;
  bufferFill_ = 0;
  buffer_.assign(bufferSize_, 0);
  if ((statusCode_ == 200 || statusCode_ == 206) && !OutputFileName.empty()) {
    if (resumeAsked_ && startPos_ == 0) {
      // A whole body answers a resume: the bytes the partial file holds are given up
      // only once the new body has arrived complete, so it goes beside the file.
      auto file = TWinHTTPFileStream::CreateBeside(OutputFileName);
      if (!file->IsOpen()) {
        lastError_ = "cannot create a file beside \"" + OutputFileName +
                     "\": " + std::strerror(errno);
        outputFailed_ = true;
        return false;
      }
      replacementPath_ = file->Path();
      if (OutputFileAttributes.Incomplete != TWinHTTPFileAttributes{atrArchive}) {
        ApplyFileAttributes(replacementPath_, OutputFileAttributes.Incomplete);
      }
      output_ = std::move(file);
      outputIsFile_ = true;
      verify_ = false;
      fastPath_ = !OnProgress;
      return true;
    }
    struct stat st {};
    const bool existed = stat(OutputFileName.c_str(), &st) == 0;
    if (existed && startPos_ > st.st_size) {
      // Writing there would leave a hole of zeros in the file.
      lastError_ = "the output file is shorter than the resume position";
      outputFailed_ = true;
      return false;
    }
    auto file = std::make_unique<TWinHTTPFileStream>(OutputFileName, startPos_ == 0);
    if (file->IsOpen()) {
      outputCreatedHere_ = startPos_ == 0 || !existed;
      if (startPos_ != 0 && (!file->Seek(startPos_) || file->Position() != startPos_)) {
        if (outputRetries_++ < 1) {
          pendingReconnect_ = true;
        } else {
          outputFailed_ = true;
        }
        return false;
      }
      if (OutputFileAttributes.Incomplete != TWinHTTPFileAttributes{atrArchive}) {
        ApplyFileAttributes(OutputFileName, OutputFileAttributes.Incomplete);
      }
      output_ = std::move(file);
      outputIsFile_ = true;
      verify_ = startPos_ != 0;
      fastPath_ = !OnProgress && !verify_;
      return true;
    }
    // Never a silent fall-back into memory: the caller asked for a file.
    lastError_ = "cannot create \"" + OutputFileName + "\": " + std::strerror(errno);
    outputFailed_ = true;
    return false;
  }
  if (MaxMemorySize > 0 && success_ && dataSize_ > MaxMemorySize) {
    refused_ = true;
    lastError_ = "the body of " + std::to_string(dataSize_) + " bytes is larger than MaxMemorySize (" +
                 std::to_string(MaxMemorySize) + " bytes)";
    return false;
  }
  auto memory = std::make_unique<TMemoryStream>();
  if (success_ && dataSize_ > 0)
    memory->Reserve(static_cast<size_t>(std::min(dataSize_, kMaxReserve)));
  output_ = std::move(memory);
  verify_ = false;
  fastPath_ = !OnProgress;
  return true;
}

bool TCustomWinHTTP::OnResponseBody(const char* data, size_t size) {
  if (!delivering_ || !output_) return true;
  if (fastPath_) {
    CheckPoint();
    bytesRead_ += static_cast<int64_t>(size);
    return WriteOutput(data, size);
  }
  // Blocks of TransferBufferSize bytes, as a blocking read of that size would give them.
  // A whole block that arrives in one piece is used where it lies, without a copy.
  while (size > 0) {
    if (bufferFill_ == 0 && size >= bufferSize_) {
      if (!ProcessBlock(data, bufferSize_)) return false;
      data += bufferSize_;
      size -= bufferSize_;
      continue;
    }
    const size_t take = std::min(size, bufferSize_ - bufferFill_);
    std::memcpy(buffer_.data() + bufferFill_, data, take);
    bufferFill_ += take;
    data += take;
    size -= take;
    if (bufferFill_ == bufferSize_) {
      bufferFill_ = 0;
      if (!ProcessBlock(buffer_.data(), bufferSize_)) return false;
    }
  }
  return true;
}

bool TCustomWinHTTP::FlushBlock() {
  if (fastPath_ || bufferFill_ == 0) return true;
  const size_t n = bufferFill_;
  bufferFill_ = 0;
  return ProcessBlock(buffer_.data(), n);
}

bool TCustomWinHTTP::ProcessBlock(const char* data, size_t size) {
  CheckPoint();
  bytesRead_ += static_cast<int64_t>(size);
  if (verify_) {
    verify_ = false;
    // Compare what the file already holds from the resume position; only the bytes the
    // file does not have yet are written.
    const int64_t held = std::max<int64_t>(0, output_->Size() - startPos_);
    const size_t overlap = static_cast<size_t>(std::min<int64_t>(held, static_cast<int64_t>(size)));
    std::vector<char> existing(overlap);
    const bool same = output_->Read(existing.data(), overlap) == overlap &&
                      std::equal(existing.begin(), existing.end(), data);
    if (!same) {
      lastError_ = "the output file does not match the resource at the resume position";
      if (outputRetries_++ < 1) {
        pendingReconnect_ = true;
      } else {
        outputFailed_ = true;
      }
      return false;
    }
    data += overlap;
    size -= overlap;
    if (size == 0) return true;
  }
  if (!WriteOutput(data, size)) return false;
  if (OnProgress) {
    const ProgressFigures f =
        ComputeProgress(startPos_, dataSize_, bytesRead_, tickMs() - startTick_);
    percentsDone_ = f.PercentsDone;
    elapsedTime_ = f.ElapsedTime;
    estimatedTimeLeft_ = f.EstimatedTimeLeft;
    transferRate_ = f.TransferRate;
    thread_.CallInMainThread([&] {
      OnProgress(*this, contentType_, dataSize_ + startPos_, startPos_ + bytesRead_, elapsedTime_,
                 estimatedTimeLeft_, percentsDone_, transferRate_, output_.get());
    });
  }
  return true;
}

bool TCustomWinHTTP::WriteOutput(const char* data, size_t size) {
  if (!outputIsFile_ && MaxMemorySize > 0 &&
      output_->Size() + static_cast<int64_t>(size) > MaxMemorySize) {
    refused_ = true;
    lastError_ = "the body grew past MaxMemorySize (" + std::to_string(MaxMemorySize) + " bytes)";
    return false;
  }
  if (!output_->Write(data, size)) {
    lastError_ = "writing the output failed: " + std::string(std::strerror(errno));
    outputFailed_ = true;
    return false;
  }
  return true;
}

void TCustomWinHTTP::KeepPendingBytes() {
  // The bytes of a block not yet complete are written too, so that an abort keeps
  // everything that had arrived.
  if (!output_ || !outputIsFile_ || fastPath_ || bufferFill_ == 0) return;
  const char* data = buffer_.data();
  size_t size = bufferFill_;
  bufferFill_ = 0;
  if (verify_) {
    verify_ = false;
    const int64_t held = std::max<int64_t>(0, output_->Size() - startPos_);
    const size_t overlap = static_cast<size_t>(std::min<int64_t>(held, static_cast<int64_t>(size)));
    std::vector<char> existing(overlap);
    if (output_->Read(existing.data(), overlap) != overlap ||
        !std::equal(existing.begin(), existing.end(), data))
      return;
    data += overlap;
    size -= overlap;
  }
  if (size > 0) output_->Write(data, size);
}

void TCustomWinHTTP::DropReplacement() {
  if (replacementPath_.empty()) return;
  ::unlink(replacementPath_.c_str());
  replacementPath_.clear();
}

void TCustomWinHTTP::SettleSuccess() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  success_ = (statusCode_ == 200 || statusCode_ == 206) && !readFailed_;
  if (success_ && dataSize_ != 0 && output_) success_ = dataSize_ == bytesRead_;
}

// ---------------------------------------------------------------- main thread

void TCustomWinHTTP::CloseOutput() {
  if (!outputIsFile_ || !output_) return;
  auto* file = static_cast<TWinHTTPFileStream*>(output_.get());
  if (!file->IsOpen()) return;
  file->Close();
  if (OutputFileAttributes.Incomplete != TWinHTTPFileAttributes{atrArchive}) {
    ApplyFileAttributes(file->Path(), OutputFileAttributes.Incomplete);
  }
}

void TCustomWinHTTP::ResetAfterRun() {
  if (localFile_ >= 0) ::close(localFile_);
  localFile_ = -1;
  CloseOutput();
  output_.reset();
  buffer_.clear();
  buffer_.shrink_to_fit();
  DropReplacement();
  outputIsFile_ = false;
  busy_ = false;
  started_ = false;
  completing_ = false;
}

void TCustomWinHTTP::AbortCleanup() {
  if (localFile_ >= 0) ::close(localFile_);
  localFile_ = -1;
  const bool wasFile = outputIsFile_ && output_;
  CloseOutput();
  if (wasFile && deleteOnAbort_) ::unlink(OutputFileName.c_str());
  // An OnProgress handler that aborted at once may still hold the stream it was given: it
  // stays alive (closed) until the next start.
  abortedOutput_ = std::move(output_);
  ResetAfterRun();
}

void TCustomWinHTTP::Complete() {
  completing_ = true;
  try {
    if (localFile_ >= 0) ::close(localFile_);
    localFile_ = -1;
    if (output_) output_->Seek(0);
    busy_ = false;
    bool deleteOutput = false;
    THttpStream* stream = output_.get();
    if (continueDownload_) {
      if (refused_) {
        // Nothing was written: the output is as it was before the transfer.
        if (OnAnyError) OnAnyError(*this);
        ResetAfterRun();
        return;
      }
      if (outputFailed_ || (success_ && !output_ && !fileComplete_)) {
        if (OnAnyError) OnAnyError(*this);
        if (OnOutputFileError) OnOutputFileError(*this);
        ResetAfterRun();
        return;
      }
      if (success_ || fileComplete_) {
        if (outputIsFile_) {
          CloseOutput();
          stream = nullptr;
          if (!replacementPath_.empty()) {
            if (::rename(replacementPath_.c_str(), OutputFileName.c_str()) != 0) {
              lastError_ = "cannot replace \"" + OutputFileName + "\": " + std::strerror(errno);
              if (OnAnyError) OnAnyError(*this);
              if (OnOutputFileError) OnOutputFileError(*this);
              ResetAfterRun();
              return;
            }
            replacementPath_.clear();
          }
          if (OutputFileAttributes.Complete != OutputFileAttributes.Incomplete)
            ApplyFileAttributes(OutputFileName, OutputFileAttributes.Complete);
        } else if (fileComplete_) {
          stream = nullptr;
          if (!OutputFileName.empty())
            ApplyFileAttributes(OutputFileName, OutputFileAttributes.Complete);
        }
        if (OnDone) OnDone(*this, contentType_, startPos_ + bytesRead_, stream);
      } else {
        if (statusCode_ == 200 || statusCode_ == 206) {
          if (OnConnLost) OnConnLost(*this, contentType_, dataSize_, bytesRead_, stream);
        } else if (statusCode_ == -1) {
          if (OnHostUnreachable) OnHostUnreachable(*this);
        } else {
          if (OnHTTPError) OnHTTPError(*this, statusCode_, stream);
          deleteOutput = outputIsFile_ && outputCreatedHere_;
        }
        if (OnAnyError) OnAnyError(*this);
      }
    }
    ResetAfterRun();
    if (deleteOutput) ::unlink(OutputFileName.c_str());
    if (!continueDownload_ && OnDoneInterrupted) OnDoneInterrupted(*this);
  } catch (...) {
    ResetAfterRun();
    throw;
  }
}

}  // namespace http
