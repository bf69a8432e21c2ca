#pragma once
// A loopback HTTP server whose every answer announces a long body, sends its first bytes
// and then sends nothing more until the server shuts down: a network source that stalls.

// The installed library was built with these; its header must see them too.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class StallingHttpServer {
 public:
  explicit StallingHttpServer(std::string head, size_t announcedSize = 50'000'000)
      : head_(std::move(head)) {
    server_.Get(".*", [this, announcedSize](const httplib::Request& request,
                                            httplib::Response& response) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++requests_[request.path];
      }
      response.set_content_provider(
          announcedSize, "application/octet-stream",
          [this](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset == 0 && !sink.write(head_.data(), head_.size())) return false;
            while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return false;
          });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~StallingHttpServer() {
    stopping_ = true;
    server_.stop();
    thread_.join();
  }
  StallingHttpServer(const StallingHttpServer&) = delete;
  StallingHttpServer& operator=(const StallingHttpServer&) = delete;

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Requests for every path, or for one.
  int Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int all = 0;
    for (const auto& [path, count] : requests_) all += count;
    return all;
  }
  int RequestsFor(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = requests_.find(path);
    return it == requests_.end() ? 0 : it->second;
  }

 private:
  std::string head_;
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, int> requests_;
};

}  // namespace testsupport
