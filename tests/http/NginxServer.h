#pragma once
// nginx on loopback, started by a test with its own configuration and prefix folder on a
// free port, and stopped when the object goes. Skips (available() false) when nginx is
// not installed.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace httptest {

class NginxServer {
 public:
  // Serves the files of `root`.
  explicit NginxServer(const std::filesystem::path& prefix, const std::filesystem::path& root) {
    if (!std::filesystem::exists(kProgram)) return;
    std::filesystem::create_directories(prefix / "logs");
    for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
      port_ = FreePort();
      const auto conf = prefix / "nginx.conf";
      std::ofstream(conf) << "daemon off;\n"
                          << "master_process off;\n"
                          << "worker_processes 1;\n"
                          << "error_log " << (prefix / "logs/error.log").string() << ";\n"
                          << "pid " << (prefix / "nginx.pid").string() << ";\n"
                          << "events { worker_connections 64; }\n"
                          << "http {\n"
                          << "  access_log off;\n"
                          << "  client_body_temp_path " << (prefix / "body").string() << ";\n"
                          << "  proxy_temp_path " << (prefix / "proxy").string() << ";\n"
                          << "  fastcgi_temp_path " << (prefix / "fastcgi").string() << ";\n"
                          << "  uwsgi_temp_path " << (prefix / "uwsgi").string() << ";\n"
                          << "  scgi_temp_path " << (prefix / "scgi").string() << ";\n"
                          << "  server {\n"
                          << "    listen 127.0.0.1:" << port_ << ";\n"
                          << "    root " << root.string() << ";\n"
                          << "  }\n"
                          << "}\n";
      const pid_t pid = fork();
      if (pid == 0) {
        const std::string p = prefix.string() + "/", c = conf.string(),
                          e = (prefix / "logs/error.log").string();
        execl(kProgram, kProgram, "-p", p.c_str(), "-c", c.c_str(), "-e", e.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
      }
      // Ready when it accepts a connection; gone when it could not start.
      for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        if (Accepts(port_)) {
          pid_ = pid;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (pid_ <= 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  }
  ~NginxServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool available() const { return pid_ > 0; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  static constexpr const char* kProgram = "/usr/sbin/nginx";

  static int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
  }
  static bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
  }

  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace httptest
