#pragma once
// A real HTTP server on loopback inside the test process, and a recorder of the events of
// a transfer.

// The installed library was built with these; its header must see them too.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/MainThread.h"
#include "http/WinHTTP.h"

namespace httptest {

class TestServer {
 public:
  TestServer() {
    port_ = server.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TestServer() {
    stopping = true;
    server.stop();
    thread_.join();
  }
  int port() const { return port_; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  httplib::Server server;
  // Handlers that stall check this so that the server can shut down.
  std::atomic<bool> stopping{false};

  // Sleeps up to ms, returning early when the server is shutting down.
  void stall(int ms) {
    for (int i = 0; i < ms && !stopping; i += 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

 private:
  int port_ = 0;
  std::thread thread_;
};

// A loopback server that answers each request with the bytes a script gives it, for the
// answers a well-behaved server library would not send (a partial answer from the wrong
// offset, a body that stops half way and the connection left open). The script gets the
// request head and a writer; returning ends the connection.
class RawServer {
 public:
  // One accepted connection, as the script sees it.
  class Connection {
   public:
    Connection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    bool write(const std::string& bytes) {
      size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t w = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
      }
      return true;
    }
    // Keeps the connection open and silent for up to ms; returns early when the peer
    // closes it or the server shuts down.
    void holdOpen(int ms) {
      char sink[4096];
      for (int i = 0; i < ms && !stopping_; i += 5) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0 && ::recv(fd_, sink, sizeof sink, 0) <= 0) return;
      }
    }

   private:
    int fd_;
    const std::atomic<bool>& stopping_;
  };
  using Script = std::function<void(const std::string& requestHead, Connection& connection)>;

  explicit RawServer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 8);
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawServer() {
    stopping = true;
    thread_.join();
    ::close(listener_);
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // The request heads seen so far.
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::atomic<bool> stopping{false};

 private:
  void Serve() {
    while (!stopping) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      // One request per connection: read its head, then let the script answer.
      std::string head;
      char buf[4096];
      while (head.find("\r\n\r\n") == std::string::npos && !stopping) {
        pollfd q{c, POLLIN, 0};
        if (::poll(&q, 1, 20) <= 0) continue;
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
      }
      Connection connection(c, stopping);
      script_(head, connection);
      ::close(c);
    }
  }
  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

// The value of a request header in a raw request head ("" when absent).
inline std::string HeaderOf(const std::string& head, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const size_t at = head.find(key);
  if (at == std::string::npos) return {};
  const size_t start = at + key.size();
  return head.substr(start, head.find("\r\n", start) - start);
}

// A body of n bytes that differs from offset to offset, so that a misplaced block shows.
inline std::string PatternBytes(size_t n, unsigned seed = 7) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}

struct ProgressEvent {
  int64_t dataSize, bytesRead;
  uint32_t elapsed;
  int32_t left;
  uint8_t percent;
  float rate;
  bool onMain;
};

// Records every event of a transfer in order, with what it carried.
struct Recorder {
  std::vector<std::string> events;
  std::vector<ProgressEvent> progress;
  std::vector<std::string> redirects;
  std::vector<int> statusCodes;
  std::string body;       // the stream of OnDone, OnConnLost or OnHTTPError
  int64_t fileSize = -1;  // OnDone / OnConnLost
  int64_t connLostRead = -1;
  int httpError = 0;
  bool streamNull = false;
  bool allOnMain = true;  // every main-thread event ran there
  bool workerEventsOnWorker = true;
  std::mutex workerMutex;  // OnStatus and OnRedirected arrive on the worker

  bool finished() const {
    for (const auto& e : events) {
      if (e == "Done" || e == "AnyError" || e == "Aborted" || e == "DoneInterrupted") return true;
    }
    return false;
  }
  bool has(const std::string& name) const {
    for (const auto& e : events)
      if (e == name) return true;
    return false;
  }

  static std::string read(http::THttpStream* s) {
    if (!s) return {};
    std::string out(static_cast<size_t>(s->Size() - s->Position()), '\0');
    out.resize(s->Read(out.data(), out.size()));
    return out;
  }

  void attach(http::TCustomWinHTTP& h) {
    auto onMain = [this](const char* name) {
      allOnMain = allOnMain && core::MainThread::IsMainThread();
      events.push_back(name);
    };
    h.OnDone = [=, this](http::TCustomWinHTTP&, const std::string&, int64_t size,
                         http::THttpStream* s) {
      onMain("Done");
      fileSize = size;
      streamNull = s == nullptr;
      if (s && s->Position() != 0) events.push_back("StreamNotAtStart");
      body = read(s);
    };
    h.OnConnLost = [=, this](http::TCustomWinHTTP&, const std::string&, int64_t size,
                             int64_t bytesRead, http::THttpStream*) {
      onMain("ConnLost");
      fileSize = size;
      connLostRead = bytesRead;
    };
    h.OnHostUnreachable = [=](http::TCustomWinHTTP&) { onMain("HostUnreachable"); };
    h.OnHTTPError = [=, this](http::TCustomWinHTTP&, int code, http::THttpStream* s) {
      onMain("HTTPError");
      httpError = code;
      body = read(s);
    };
    h.OnAnyError = [=](http::TCustomWinHTTP&) { onMain("AnyError"); };
    h.OnOutputFileError = [=](http::TCustomWinHTTP&) { onMain("OutputFileError"); };
    h.OnAborted = [=](http::TCustomWinHTTP&) { onMain("Aborted"); };
    h.OnDoneInterrupted = [=](http::TCustomWinHTTP&) { onMain("DoneInterrupted"); };
    h.OnRedirected = [this](http::TCustomWinHTTP&, const std::string& url) {
      std::lock_guard<std::mutex> lock(workerMutex);
      workerEventsOnWorker = workerEventsOnWorker && !core::MainThread::IsMainThread();
      redirects.push_back(url);
    };
  }
  void recordProgress(http::TCustomWinHTTP& h) {
    h.OnProgress = [this](http::TCustomWinHTTP&, const std::string&, int64_t dataSize,
                          int64_t bytesRead, uint32_t elapsed, int32_t left, uint8_t percent,
                          float rate, http::THttpStream*) {
      progress.push_back(
          {dataSize, bytesRead, elapsed, left, percent, rate, core::MainThread::IsMainThread()});
    };
  }
};

// Serves main-thread calls until the transfer has reported its end (or the time is up).
inline bool WaitForEnd(Recorder& r, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  return core::MainThread::WaitWhileServing([&] { return r.finished(); }, limit);
}

// Serves main-thread calls until the component is idle again after its last event.
inline bool WaitIdle(http::TCustomWinHTTP& h,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  return core::MainThread::WaitWhileServing([&] { return !h.IsBusy(); }, limit);
}

}  // namespace httptest
