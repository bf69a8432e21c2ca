#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {
namespace {
fs::path fromEnv(const char* name, const fs::path& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? fs::path(v) : fallback;
}
}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  fs::path root = fromEnv("WIZCONV_TEST_TMP", WIZCONV_DEFAULT_TEST_TMP);
  fs::create_directories(root);
  for (;;) {
    path_ = root / ("t" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may have made parts read-only; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

fs::path TempDir::write(const std::string& name, const std::string& bytes) const {
  fs::path p = path_ / name;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + p.string());
  return p;
}

fs::path RuntimeDir() { return fromEnv("WIZCONV_RUNTIME_DIR", WIZCONV_DEFAULT_RUNTIME_DIR); }
fs::path SourceDir() { return fromEnv("WIZCONV_SOURCE_DIR", WIZCONV_DEFAULT_SOURCE_DIR); }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ScriptedMessages::ScriptedMessages() { core::Messages::Install(this); }
ScriptedMessages::~ScriptedMessages() { core::Messages::Install(nullptr); }

core::MessageAnswer ScriptedMessages::Show(core::MessageKind kind, const std::string& caption,
                                           const std::string& text) {
  shown.push_back({kind, caption, text});
  if (!answers_.empty()) {
    auto a = answers_.front();
    answers_.pop_front();
    return a;
  }
  return kind == core::MessageKind::Confirmation ? core::MessageAnswer::No
                                                 : core::MessageAnswer::Ok;
}

}  // namespace testsupport

namespace testsupport {

std::string ProgramPath(const std::string& name) { return (RuntimeDir() / name).string(); }

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutSeconds,
                         const std::function<void(int pid, const ProcessResult& soFar)>& watch) {
  ProcessResult result;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (pid < 0) return result;
  // Feed the input and read both outputs without letting a full pipe block the child.
  size_t written = 0;
  if (input.empty()) close(in[1]);
  bool inOpen = !input.empty(), outOpen = true, errOpen = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[3];
    int n = 0;
    if (outOpen) fds[n++] = {out[0], POLLIN, 0};
    if (errOpen) fds[n++] = {err[0], POLLIN, 0};
    if (inOpen) fds[n++] = {in[1], POLLOUT, 0};
    if (poll(fds, n, 100) <= 0) continue;
    for (int i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == in[1]) {
        const ssize_t w = write(in[1], input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w <= 0 || written == input.size()) {
          close(in[1]);
          inOpen = false;
        }
        continue;
      }
      char buf[65536];
      const ssize_t r = read(fds[i].fd, buf, sizeof buf);
      std::string& target = fds[i].fd == out[0] ? result.out : result.err;
      if (r > 0) {
        target.append(buf, static_cast<size_t>(r));
      } else {
        (fds[i].fd == out[0] ? outOpen : errOpen) = false;
      }
    }
    if (watch) watch(pid, result);
  }
  if (inOpen) close(in[1]);
  if (outOpen || errOpen) kill(pid, SIGKILL);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace testsupport
