#include "ConversionSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>

namespace conversiontest {

std::string MakeMedia(const testsupport::TempDir& dir, const std::string& name,
                      const std::vector<std::string>& ffmpegArgs) {
  const std::string out = (dir.path() / name).string();
  std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), ffmpegArgs.begin(), ffmpegArgs.end());
  argv.push_back(out);
  const auto r = testsupport::RunProcess(argv);
  EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
  return out;
}

QJsonObject Probe(const std::string& file, bool countPackets) {
  std::vector<std::string> argv = {"/usr/bin/ffprobe", "-v", "error", "-show_format",
                                   "-show_streams", "-of", "json"};
  if (countPackets) argv.push_back("-count_packets");
  argv.push_back(file);
  const auto r = testsupport::RunProcess(argv);
  if (r.exitCode != 0) return {};
  return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
}

std::vector<QJsonObject> StreamsOf(const QJsonObject& probe, const QString& kind) {
  std::vector<QJsonObject> streams;
  for (const QJsonValue& s : probe["streams"].toArray()) {
    if (s.toObject()["codec_type"].toString() == kind) streams.push_back(s.toObject());
  }
  return streams;
}

std::string DecodeErrors(const std::string& file) {
  const auto r = testsupport::RunProcess(
      {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
  if (r.exitCode != 0) return "ffmpeg could not read it (exit " + std::to_string(r.exitCode) +
                              "): " + r.err;
  return r.err;
}

testsupport::ProcessResult RunAndSignal(const std::vector<std::string>& argv,
                                        const std::function<bool(const std::string&)>& ready,
                                        int signal, bool& signalled, int timeoutSeconds) {
  testsupport::ProcessResult result;
  signalled = false;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) return result;
  bool outOpen = true, errOpen = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2];
    int n = 0;
    if (outOpen) fds[n++] = {out[0], POLLIN, 0};
    if (errOpen) fds[n++] = {err[0], POLLIN, 0};
    if (poll(fds, n, 50) > 0) {
      for (int i = 0; i < n; ++i) {
        if (!fds[i].revents) continue;
        char buf[65536];
        const ssize_t r = read(fds[i].fd, buf, sizeof buf);
        std::string& target = fds[i].fd == out[0] ? result.out : result.err;
        if (r > 0)
          target.append(buf, static_cast<size_t>(r));
        else
          (fds[i].fd == out[0] ? outOpen : errOpen) = false;
      }
    }
    if (!signalled && ready(result.err)) {
      kill(pid, signal);
      signalled = true;
    }
  }
  if (outOpen || errOpen) kill(pid, SIGKILL);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace conversiontest
