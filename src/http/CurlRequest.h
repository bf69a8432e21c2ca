#pragma once
// One HTTP exchange at a time over libcurl, driven in small steps so that a stop request
// or a silent server is noticed within a few tens of milliseconds. Connections are kept
// between exchanges of the same object.

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace http {

struct ResponseHead {
  int status = -1;
  std::string raw;  // status line and header lines, each ending in CR LF
  std::vector<std::pair<std::string, std::string>> fields;
  // The first field of that name (any letter case).
  std::optional<std::string> Find(std::string_view name) const;
};

struct RequestSettings {
  std::string url;  // the address as it goes on the wire
  bool post = false;
  std::string body;
  std::vector<std::string> headers;  // "Name: value"
  std::string agent;
  std::string referer;
  std::string accept;
  bool sendCredentials = false;
  std::string username;
  std::string password;
  enum class ProxyMode { System, Direct, Named } proxyMode = ProxyMode::System;
  std::string proxy;    // host:port for Named
  std::string noProxy;  // comma separated
  std::string proxyUsername;
  std::string proxyPassword;
  long connectTimeoutMs = 0;
  long receiveTimeoutMs = 0;
  long sendTimeoutMs = 0;
  long stallTimeoutMs = 0;  // nothing received or sent for this long, in any phase
  bool verifyPeer = true;
  bool verifyHost = true;
  bool cookies = true;
  bool keepConnection = true;
  long networkBufferSize = 64 * 1024;
};

// What to do with a response whose headers are in.
enum class HeadVerdict { Deliver, Discard, Stop };

enum class RequestEnd {
  Complete,         // the whole response arrived
  NoResponse,       // no response head was obtained (connect, send or wait failed)
  BodyFailed,       // the head arrived but the body ended early or a read failed
  StoppedByCaller,  // HeadVerdict::Stop or a body handler returned false
  StopRequested,    // stopRequested() said so
};

// Status codes of the phases the transfer can observe.
enum StatusPhase {
  kResolvingName = 10,
  kNameResolved = 11,
  kConnectingToServer = 20,
  kConnected = 21,
  kSendingRequest = 30,
  kRequestSent = 31,
  kReceivingResponse = 40,
  kResponseReceived = 41,
  kClosingConnection = 50,
  kConnectionClosed = 51,
  kHandleCreated = 60,
  kHandleClosing = 70,
  kRequestComplete = 100,
  kRedirect = 110,
  kIntermediateResponse = 120,
};

// What a line of a response head was.
enum class HeadLine { Status, Field, End };

// Adds one line of a response head, as the library delivers it (line break included), to
// `head`: a status line starts a new head, the blank line ends it, any other line is a
// field ("Name: value", both trimmed; a line without a colon goes into `raw` only).
HeadLine ReadHeadLine(ResponseHead& head, std::string_view line);

// Resolves a Location value against the address it answered; nullopt when the result is
// not an http or https address.
std::optional<std::string> ResolveReference(const std::string& base, const std::string& reference);

class CurlRequest {
 public:
  CurlRequest();
  ~CurlRequest();
  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;

  // The library's request handle, for callers that want to set more options.
  void* Handle() const { return easy_; }

  std::function<bool()> stopRequested;
  std::function<void(int phase)> onStatus;
  std::function<HeadVerdict(const ResponseHead&)> onHead;
  std::function<bool(const char* data, size_t size)> onBody;  // false stops the exchange

  // Runs one exchange. Exceptions thrown by the handlers come out of here after the
  // exchange has been wound down.
  RequestEnd Perform(const RequestSettings& settings);
  // The library's text for the last failure.
  const std::string& ErrorText() const { return error_; }
  // The last exchange ended because the peer went silent.
  bool TimedOut() const { return timedOut_; }
  // Drops kept connections, so that the next exchange connects anew.
  void CloseConnections();

 private:
  static size_t HeaderCallback(char* data, size_t size, size_t count, void* self);
  static size_t WriteCallback(char* data, size_t size, size_t count, void* self);
  static int ProgressCallback(void* self, int64_t, int64_t, int64_t, int64_t);
  static int PrereqCallback(void* self, char*, char*, int, int);
  static int64_t OpenSocketCallback(void* self, int purpose, void* address);
  static int CloseSocketCallback(void* self, int64_t socket);
  void Configure(const RequestSettings& s);
  void Status(int phase);
  bool Guard(const std::function<void()>& fn);
  void Touch() { lastActivity_ = std::chrono::steady_clock::now(); }

  void* multi_ = nullptr;
  void* easy_ = nullptr;
  void* headerList_ = nullptr;
  void* share_ = nullptr;
  std::string error_;
  bool timedOut_ = false;
  char errorBuffer_[256] = {};

  // Per exchange.
  ResponseHead head_;
  bool headDone_ = false;
  bool requestSent_ = false;
  bool newConnection_ = false;
  HeadVerdict verdict_ = HeadVerdict::Deliver;
  bool stoppedByCaller_ = false;
  bool stopSeen_ = false;
  std::exception_ptr raised_;
  int64_t uploadTotal_ = 0;
  int64_t uploadNow_ = 0;
  std::chrono::steady_clock::time_point lastActivity_;
};

}  // namespace http
