#include "ConversionSupport.h"

#include <gtest/gtest.h>
#include <signal.h>
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
  signalled = false;
  return testsupport::RunProcess(argv, "", timeoutSeconds,
                                 [&](int pid, const testsupport::ProcessResult& soFar) {
                                   if (!signalled && ready(soFar.err)) {
                                     kill(pid, signal);
                                     signalled = true;
                                   }
                                 });
}

}  // namespace conversiontest
