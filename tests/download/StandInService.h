#pragma once
// A stand-in for the video service on loopback: watch pages, the video-information
// document with its url_encoded_fmt_stream_map (itag, url, sig) and the video files
// behind the links, with the faults a real service shows (missing links, errors, no
// length, a broken connection, a stall). Video files are made by ffmpeg at test time.

#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace standin {

// Percent-encodes everything but letters, digits and -_.~
inline std::string Escape(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// A short clip made by ffmpeg, kept for the whole test run.
inline std::string Clip(const std::string& name) {
  const char* tmp = std::getenv("WIZCONV_TEST_TMP");
  const std::filesystem::path folder =
      std::filesystem::path(tmp ? tmp : std::filesystem::temp_directory_path().string()) /
      "download-fixtures";
  std::filesystem::create_directories(folder);
  const std::filesystem::path path = folder / name;
  if (std::filesystem::exists(path)) return testsupport::ReadFile(path);
  const std::string ext = path.extension().string();
  std::string codec = "-c:v flv1";
  if (ext == ".mp4") codec = "-c:v mpeg4";
  if (ext == ".3gp") codec = "-c:v h263 -s 176x144";
  const std::string partial = (folder / ("partial-" + std::to_string(::getpid()) + name)).string();
  const std::string command =
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=176x144:rate=10:duration=1 " + codec +
      " -f " + (ext == ".flv" ? "flv" : ext == ".3gp" ? "3gp" : "mp4") + " '" + partial + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg could not make " + name);
  std::filesystem::rename(partial, path);
  return testsupport::ReadFile(path);
}

struct Video {
  Video() = default;
  Video(std::string id_, std::string title_, std::map<int, std::string> bodies_ = {})
      : id(std::move(id_)), title(std::move(title_)), bodies(std::move(bodies_)) {}
  std::string id;
  std::string title;                  // as the page carries it (entities and all)
  std::map<int, std::string> bodies;  // itag -> the bytes its link serves
  std::set<int> broken;               // listed itags whose link answers 404
  bool withSignatures = true;
  bool noLength = false;  // bodies sent chunked, without Content-Length, over >1 s
  size_t dropAfter = 0;   // the first answer of each link breaks after this many bytes
  std::set<int> dropping;     // the itags whose links break so
  bool brokenRanges = false;  // a request for a range fails
  int stallBeforeBodyMs = 0;
  int stallPageMs = 0;  // before the watch page's answer
  std::string pagePadding;  // extra bytes in the watch page
  std::string extraDocument;  // appended to the information document
};

class Service {
 public:
  Service() : Service(std::make_unique<httplib::Server>()) {}
  explicit Service(std::unique_ptr<httplib::Server> server) : server_(std::move(server)) {
    server_->Get("/watch", [this](const httplib::Request& req, httplib::Response& res) {
      note(req);
      const Video* v = find(req.get_param_value("v"));
      if (!v) {
        res.status = 404;
        return;
      }
      if (v->stallPageMs) stall(v->stallPageMs);
      res.set_content(v->pagePadding + "<html><head>\n<meta name=\"title\" content=\"" + v->title +
                          "\">\n<link rel=\"canonical\" href=\"http://" + Domain() +
                          "/watch?v=" + v->id + "\">\n</head><body>video</body></html>\n",
                      "text/html");
    });
    server_->Get("/get_video_info", [this](const httplib::Request& req, httplib::Response& res) {
      note(req);
      const Video* v = find(req.get_param_value("video_id"));
      if (!v) {
        res.status = 404;
        return;
      }
      res.set_content(Document(*v), "application/x-www-form-urlencoded");
    });
    server_->Get("/videoplayback", [this](const httplib::Request& req, httplib::Response& res) {
      note(req);
      const Video* v = find(req.get_param_value("id"));
      const int itag = std::atoi(req.get_param_value("itag").c_str());
      if (!v || v->broken.count(itag) || !v->bodies.count(itag) ||
          (v->withSignatures &&
           req.get_param_value("signature") != "SIG" + std::to_string(itag))) {
        res.status = 404;
        return;
      }
      if (v->brokenRanges && req.has_header("Range")) {
        res.status = 500;
        return;
      }
      const std::string body = v->bodies.at(itag);
      if (v->stallBeforeBodyMs) stall(v->stallBeforeBodyMs);
      res.set_header("Accept-Ranges", "bytes");
      const std::string key = v->id + "/" + std::to_string(itag);
      bool drop = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        drop = v->dropAfter > 0 && v->dropping.count(itag) && !dropped_.count(key) &&
               !req.has_header("Range");
        if (drop) dropped_.insert(key);
      }
      if (drop) {
        const size_t cut = v->dropAfter;
        res.set_content_provider(body.size(), "video/x-flv",
                                 [body, cut](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset >= cut) return false;  // the connection breaks
                                   sink.write(body.data() + offset, cut - offset);
                                   return true;
                                 });
        return;
      }
      if (v->noLength) {
        res.set_chunked_content_provider(
            "video/x-flv", [this, body](size_t offset, httplib::DataSink& sink) {
              if (offset >= body.size()) {
                sink.done();
                return true;
              }
              // Half now, the rest after more than a second.
              const size_t half = body.size() / 2;
              if (offset > 0) stall(1200);
              const size_t n = offset == 0 ? half : body.size() - offset;
              sink.write(body.data() + offset, n);
              return true;
            });
        return;
      }
      res.set_content(body, "video/x-flv");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Service() {
    stopping_ = true;
    server_->stop();
    thread_.join();
  }

  std::string Domain() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Scheme() const { return secure_ ? "https://" : "http://"; }
  std::string WatchUrl(const std::string& id) const {
    return Scheme() + Domain() + "/watch?v=" + id;
  }
  void SetSecure(bool secure) { secure_ = secure; }

  void Add(Video v) {
    std::lock_guard<std::mutex> lock(mutex_);
    videos_[v.id] = std::move(v);
  }

  // The information document of a video, as the service writes it.
  std::string Document(const Video& v) const {
    std::set<int> itags = v.broken;
    for (const auto& [itag, body] : v.bodies) itags.insert(itag);
    std::string map;
    for (int itag : itags) {
      if (!map.empty()) map += ",";
      const std::string link = "http://" + Domain() + "/videoplayback?id=" + v.id +
                               "&itag=" + std::to_string(itag);
      map += "itag=" + std::to_string(itag) + "&url=" + Escape(link);
      if (v.withSignatures) map += "&sig=SIG" + std::to_string(itag);
    }
    return "status=ok&fmt_list=x&url_encoded_fmt_stream_map=" + Escape(map) +
           "&title=ignored" + v.extraDocument;
  }

  // Every request's path and query, in order of arrival.
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  // The itags asked of /videoplayback, in order.
  std::vector<int> VideoItags() {
    std::vector<int> out;
    for (const std::string& r : Requests()) {
      if (r.rfind("/videoplayback", 0) != 0) continue;
      const size_t at = r.find("itag=");
      out.push_back(std::atoi(r.c_str() + at + 5));
    }
    return out;
  }
  std::vector<std::string> Agents() {
    std::lock_guard<std::mutex> lock(mutex_);
    return agents_;
  }
  std::vector<std::string> Ranges() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ranges_;
  }

  void stall(int ms) {
    for (int i = 0; i < ms && !stopping_; i += 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

 private:
  const Video* find(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = videos_.find(id);
    return it == videos_.end() ? nullptr : &it->second;
  }
  void note(const httplib::Request& req) {
    std::string query;
    for (const auto& [k, v] : req.params) query += (query.empty() ? "?" : "&") + k + "=" + v;
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req.path + query);
    agents_.push_back(req.get_header_value("User-Agent"));
    if (req.has_header("Range")) ranges_.push_back(req.get_header_value("Range"));
  }

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  bool secure_ = false;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::map<std::string, Video> videos_;
  std::set<std::string> dropped_;
  std::vector<std::string> requests_;
  std::vector<std::string> agents_;
  std::vector<std::string> ranges_;
};

}  // namespace standin
