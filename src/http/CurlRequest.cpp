#include "http/CurlRequest.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>

namespace http {
namespace {

// How long the exchange loop sleeps at most before it looks at the stop flag and the
// time-outs again.
constexpr int kPollMs = 20;

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

CURL* easyOf(void* p) { return static_cast<CURL*>(p); }
CURLM* multiOf(void* p) { return static_cast<CURLM*>(p); }

}  // namespace

std::optional<std::string> ResponseHead::Find(std::string_view name) const {
  for (const auto& [n, v] : fields) {
    if (equalsNoCase(n, name)) return v;
  }
  return std::nullopt;
}

HeadLine ReadHeadLine(ResponseHead& head, std::string_view line) {
  // A CR inside a line is no line break: it becomes a blank, so that the raw head keeps
  // one CR LF per line and no reader of it sees a field the server did not send.
  const auto blankCarriageReturns = [](std::string text) {
    for (char& c : text) {
      if (c == '\r') c = ' ';
    }
    return text;
  };
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    head = ResponseHead{};
    // The status is the three digits after the first space; anything else is no status.
    const size_t space = line.find(' ');
    const std::string_view code =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1, 3);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const bool threeDigits = code.size() == 3 && std::all_of(code.begin(), code.end(), digit) &&
                             (line.size() == space + 4 || !digit(line[space + 4]));
    head.status = threeDigits ? (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0') : 0;
    head.raw = blankCarriageReturns(trim(line)) + "\r\n";
    return HeadLine::Status;
  }
  const std::string text = blankCarriageReturns(trim(line));
  if (text.empty()) {
    head.raw += "\r\n";
    return HeadLine::End;
  }
  head.raw += text + "\r\n";
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    head.fields.emplace_back(trim(std::string_view(text).substr(0, colon)),
                             trim(std::string_view(text).substr(colon + 1)));
  }
  return HeadLine::Field;
}

std::optional<std::string> ResolveReference(const std::string& base, const std::string& reference) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  if (curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
  char* scheme = nullptr;
  if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return std::nullopt;
  const std::string schemeText = scheme;
  curl_free(scheme);
  if (schemeText != "http" && schemeText != "https") return std::nullopt;
  char* full = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &full, 0) != CURLUE_OK) return std::nullopt;
  std::string result = full;
  curl_free(full);
  return result;
}

CurlRequest::CurlRequest() {
  globalInit();
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
}

CurlRequest::~CurlRequest() {
  onStatus = nullptr;  // the owner may be half gone; sockets closing now are nobody's news
  if (easy_) curl_easy_cleanup(easyOf(easy_));
  if (multi_) curl_multi_cleanup(multiOf(multi_));
  if (headerList_) curl_slist_free_all(static_cast<curl_slist*>(headerList_));
}

void CurlRequest::CloseConnections() {
  if (multi_) curl_multi_cleanup(multiOf(multi_));
  multi_ = curl_multi_init();
}

void CurlRequest::Status(int phase) {
  if (onStatus) Guard([&] { onStatus(phase); });
}

bool CurlRequest::Guard(const std::function<void()>& fn) {
  if (raised_) return false;
  try {
    fn();
    return true;
  } catch (...) {
    raised_ = std::current_exception();
    return false;
  }
}

void CurlRequest::Configure(const RequestSettings& s) {
  // No reset between exchanges: options set on the handle from outside (before the first
  // request) stay. Everything that may differ between exchanges is set every time.
  CURL* e = easyOf(easy_);
  if (headerList_) curl_slist_free_all(static_cast<curl_slist*>(headerList_));
  headerList_ = nullptr;

  curl_easy_setopt(e, CURLOPT_URL, s.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer_);
  curl_easy_setopt(e, CURLOPT_USERAGENT, s.agent.c_str());
  curl_easy_setopt(e, CURLOPT_REFERER, s.referer.empty() ? nullptr : s.referer.c_str());
  if (s.post) {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(s.body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, s.body.data());
  } else {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  }
  curl_slist* list = nullptr;
  if (!s.accept.empty()) list = curl_slist_append(list, ("Accept: " + s.accept).c_str());
  if (s.post) {
    list = curl_slist_append(list, "Content-Type: application/x-www-form-urlencoded");
    list = curl_slist_append(list, "Expect:");
  }
  for (const auto& h : s.headers) list = curl_slist_append(list, h.c_str());
  headerList_ = list;
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

  curl_easy_setopt(e, CURLOPT_USERNAME, s.sendCredentials ? s.username.c_str() : nullptr);
  curl_easy_setopt(e, CURLOPT_PASSWORD, s.sendCredentials ? s.password.c_str() : nullptr);
  curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  switch (s.proxyMode) {
    case RequestSettings::ProxyMode::System:
      curl_easy_setopt(e, CURLOPT_PROXY, nullptr);  // the environment's settings apply
      break;
    case RequestSettings::ProxyMode::Direct:
      curl_easy_setopt(e, CURLOPT_PROXY, "");
      break;
    case RequestSettings::ProxyMode::Named:
      curl_easy_setopt(e, CURLOPT_PROXY, s.proxy.c_str());
      curl_easy_setopt(e, CURLOPT_NOPROXY, s.noProxy.c_str());
      break;
  }
  const bool proxyCredentials = !s.proxyUsername.empty() || !s.proxyPassword.empty();
  curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyCredentials ? s.proxyUsername.c_str() : nullptr);
  curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyCredentials ? s.proxyPassword.c_str() : nullptr);
  curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, s.connectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, s.verifyPeer ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, s.verifyHost ? 2L : 0L);
  if (s.cookies) curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, s.keepConnection ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, s.networkBufferSize);

  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequest::HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequest::WriteCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &CurlRequest::ProgressCallback);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &CurlRequest::PrereqCallback);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &CurlRequest::OpenSocketCallback);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &CurlRequest::CloseSocketCallback);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this);
}

size_t CurlRequest::HeaderCallback(char* data, size_t size, size_t count, void* self) {
  auto* r = static_cast<CurlRequest*>(self);
  const size_t n = size * count;
  r->Touch();
  if (r->raised_) return 0;
  // Trailer lines of a chunked body come after the head has been handled.
  if (r->headDone_) return n;
  switch (ReadHeadLine(r->head_, std::string_view(data, n))) {
    case HeadLine::Status:
      r->Status(kRequestSent);
      r->Status(kReceivingResponse);
      return n;
    case HeadLine::Field:
      return n;
    case HeadLine::End:
      break;
  }
  if (r->head_.status >= 100 && r->head_.status < 200) {
    r->Status(kIntermediateResponse);
    r->head_ = ResponseHead{};
    return n;
  }
  r->headDone_ = true;
  r->Status(kResponseReceived);
  if (r->onHead) r->Guard([&] { r->verdict_ = r->onHead(r->head_); });
  if (r->raised_) return 0;
  if (r->verdict_ == HeadVerdict::Stop) {
    r->stoppedByCaller_ = true;
    return 0;
  }
  return n;
}

size_t CurlRequest::WriteCallback(char* data, size_t size, size_t count, void* self) {
  auto* r = static_cast<CurlRequest*>(self);
  const size_t n = size * count;
  r->Touch();
  if (r->raised_ || r->stoppedByCaller_) return 0;
  if (r->verdict_ == HeadVerdict::Discard) return n;
  bool goOn = true;
  if (r->onBody && !r->Guard([&] { goOn = r->onBody(data, n); })) return 0;
  if (!goOn) {
    r->stoppedByCaller_ = true;
    return 0;
  }
  return n;
}

int CurlRequest::ProgressCallback(void* self, int64_t, int64_t dlnow, int64_t, int64_t ulnow) {
  auto* r = static_cast<CurlRequest*>(self);
  if (ulnow != r->uploadNow_) {
    r->uploadNow_ = ulnow;
    r->Touch();
  }
  (void)dlnow;
  bool stop = false;
  if (r->stopRequested) r->Guard([&] { stop = r->stopRequested(); });
  if (stop) r->stopSeen_ = true;
  return stop || r->raised_ ? 1 : 0;
}

int CurlRequest::PrereqCallback(void* self, char*, char*, int, int) {
  auto* r = static_cast<CurlRequest*>(self);
  if (r->newConnection_) r->Status(kConnected);
  r->Status(kSendingRequest);
  r->requestSent_ = true;
  r->Touch();
  return r->raised_ ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

int64_t CurlRequest::OpenSocketCallback(void* self, int purpose, void* address) {
  auto* r = static_cast<CurlRequest*>(self);
  (void)purpose;
  auto* a = static_cast<curl_sockaddr*>(address);
  r->Status(kResolvingName);
  r->Status(kNameResolved);
  r->Status(kConnectingToServer);
  r->newConnection_ = true;
  r->Touch();
  const int fd = ::socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
  return fd < 0 ? static_cast<int64_t>(CURL_SOCKET_BAD) : fd;
}

int CurlRequest::CloseSocketCallback(void* self, int64_t socket) {
  auto* r = static_cast<CurlRequest*>(self);
  r->Status(kClosingConnection);
  const int rc = ::close(static_cast<int>(socket));
  r->Status(kConnectionClosed);
  return rc;
}

RequestEnd CurlRequest::Perform(const RequestSettings& s) {
  head_ = ResponseHead{};
  headDone_ = false;
  requestSent_ = false;
  newConnection_ = false;
  verdict_ = HeadVerdict::Deliver;
  stoppedByCaller_ = false;
  stopSeen_ = false;
  raised_ = nullptr;
  error_.clear();
  errorBuffer_[0] = 0;
  uploadNow_ = 0;
  uploadTotal_ = s.post ? static_cast<int64_t>(s.body.size()) : 0;
  Configure(s);
  Touch();

  CURLM* m = multiOf(multi_);
  curl_multi_add_handle(m, easyOf(easy_));
  bool timedOut = false;
  timedOut_ = false;
  int running = 1;
  for (;;) {
    const CURLMcode mc = curl_multi_perform(m, &running);
    if (mc != CURLM_OK) {
      error_ = curl_multi_strerror(mc);
      break;
    }
    if (!running || raised_ || stoppedByCaller_ || stopSeen_) break;
    if (stopRequested && stopRequested()) {
      stopSeen_ = true;
      break;
    }
    // A silent peer: the send limit applies while the body goes out, the receive limit
    // while an answer is awaited or arrives. Connecting is bounded by the library.
    if (requestSent_) {
      const bool uploading = uploadNow_ < uploadTotal_ && !headDone_;
      const long limit = uploading ? s.sendTimeoutMs : s.receiveTimeoutMs;
      if (limit > 0 &&
          std::chrono::steady_clock::now() - lastActivity_ > std::chrono::milliseconds(limit)) {
        timedOut = true;
        error_ = uploading ? "sending the request timed out" : "receiving the response timed out";
        break;
      }
    }
    // However far the exchange has come, a peer that sends nothing for too long ends it.
    if (s.stallTimeoutMs > 0 && std::chrono::steady_clock::now() - lastActivity_ >
                                    std::chrono::milliseconds(s.stallTimeoutMs)) {
      timedOut = true;
      char text[64];
      std::snprintf(text, sizeof text, "timed out: no data for %.1f s", s.stallTimeoutMs / 1000.0);
      error_ = text;
      break;
    }
    curl_multi_poll(m, nullptr, 0, kPollMs, nullptr);
  }
  timedOut_ = timedOut;
  CURLcode code = CURLE_OK;
  bool finished = false;
  int queued = 0;
  while (CURLMsg* msg = curl_multi_info_read(m, &queued)) {
    if (msg->msg == CURLMSG_DONE) {
      code = msg->data.result;
      finished = true;
    }
  }
  curl_multi_remove_handle(m, easyOf(easy_));
  if (raised_) std::rethrow_exception(raised_);
  if (stopSeen_) return RequestEnd::StopRequested;
  if (stoppedByCaller_) return RequestEnd::StoppedByCaller;
  if (finished && code == CURLE_OK && !timedOut) {
    Status(kRequestComplete);
    return RequestEnd::Complete;
  }
  if (error_.empty()) error_ = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(code);
  return headDone_ ? RequestEnd::BodyFailed : RequestEnd::NoResponse;
}

}  // namespace http
