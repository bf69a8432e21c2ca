// wizconv-cli probe against ffprobe on media made by the ffmpeg program.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include "StallingHttpServer.h"
#include "TestSupport.h"

using testsupport::ProgramPath;
using testsupport::RunProcess;

namespace {

struct Fixture {
  const char* name;
  std::vector<std::string> ffmpegArgs;  // between the inputs and the output name
};

// Makes a few seconds of media with the ffmpeg program.
std::string Make(const testsupport::TempDir& dir, const Fixture& f) {
  const std::string out = (dir.path() / f.name).string();
  std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-v", "error", "-y"};
  argv.insert(argv.end(), f.ffmpegArgs.begin(), f.ffmpegArgs.end());
  argv.push_back(out);
  auto r = RunProcess(argv);
  EXPECT_EQ(r.exitCode, 0) << f.name << ": " << r.err;
  return out;
}

QJsonObject Json(const std::string& text) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

}  // namespace

TEST(ProbeCommand, AgreesWithFfprobeOnEveryKindOfFile) {
  testsupport::TempDir dir;
  const std::vector<std::string> video = {"-f", "lavfi", "-i",
                                          "testsrc=size=320x240:rate=25:duration=2"};
  const std::vector<std::string> audio = {"-f", "lavfi", "-i",
                                          "sine=frequency=440:sample_rate=44100:duration=2"};
  auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Fixture fixtures[] = {
      {"audio.mp3", join({audio, {"-c:a", "libmp3lame"}})},
      {"video.mkv", join({video, {"-c:v", "mpeg4"}})},
      {"both.mp4", join({video, audio, {"-c:v", "libx264", "-c:a", "aac", "-shortest"}})},
      {"raw.h264", join({video, {"-c:v", "libx264", "-f", "h264"}})},
      {"two-audio.mkv",
       join({video,
             audio,
             {"-f", "lavfi", "-i", "sine=frequency=880:sample_rate=48000:duration=2"},
             {"-map", "0", "-map", "1", "-map", "2", "-c:v", "mpeg4", "-c:a", "aac", "-ac:a:1",
              "2"}})},
      {"tagged.mp3",
       join({audio,
             {"-metadata", "title=标题", "-metadata", "artist=Someone", "-c:a", "libmp3lame"}})},
  };
  std::vector<std::string> files;
  for (const auto& f : fixtures) files.push_back(Make(dir, f));

  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    auto ours = RunProcess({ProgramPath("wizconv-cli"), "probe", file});
    ASSERT_EQ(ours.exitCode, 0) << ours.err;
    auto peer = RunProcess(
        {"/usr/bin/ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", file});
    ASSERT_EQ(peer.exitCode, 0) << peer.err;
    const QJsonObject mine = Json(ours.out);
    const QJsonObject theirs = Json(peer.out);
    ASSERT_FALSE(mine.isEmpty()) << ours.out;

    const QJsonValue duration = theirs["format"].toObject()["duration"];
    if (duration.isUndefined()) {
      EXPECT_EQ(mine["Duration"].toDouble(), -1);
    } else {
      EXPECT_NEAR(mine["Duration"].toDouble() / 1e6, duration.toString().toDouble(), 0.05);
    }
    const QJsonArray ourStreams = mine["Streams"].toArray();
    const QJsonArray peerStreams = theirs["streams"].toArray();
    ASSERT_EQ(ourStreams.size(), peerStreams.size());
    for (qsizetype i = 0; i < ourStreams.size(); ++i) {
      const QJsonObject o = ourStreams[i].toObject();
      const QJsonObject p = peerStreams[i].toObject();
      const QString kind = p["codec_type"].toString();
      EXPECT_EQ(o["Kind"].toString().toLower(), kind);
      if (kind == "video") {
        EXPECT_EQ(o["Width"].toInt(), p["width"].toInt());
        EXPECT_EQ(o["Height"].toInt(), p["height"].toInt());
      } else if (kind == "audio") {
        EXPECT_EQ(o["SampleRate"].toInt(), p["sample_rate"].toString().toInt());
        EXPECT_EQ(o["Channels"].toInt(), p["channels"].toInt());
      }
    }
  }
  const QJsonObject tagged =
      Json(RunProcess({ProgramPath("wizconv-cli"), "probe", files.back()}).out);
  EXPECT_EQ(tagged["Title"].toString().toStdString(), "标题");
  EXPECT_EQ(tagged["Author"].toString().toStdString(), "Someone");
}

TEST(ProbeCommand, ABrokenFileIsReportedAfterTheOthersAndTheExitIsOne) {
  testsupport::TempDir dir;
  const std::string good = Make(dir, {"good.wav", {"-f", "lavfi", "-i", "sine=duration=1"}});
  const std::string empty = dir.write("empty.mp4", "").string();
  const std::string noise = dir.write("noise.avi", std::string(4096, '\x5a')).string();
  const std::string missing = (dir.path() / "missing.mkv").string();
  auto r = RunProcess({ProgramPath("wizconv-cli"), "probe", empty, good, noise, missing});
  EXPECT_EQ(r.exitCode, 1);
  // One JSON object per good file on standard output, each failure named on standard error.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  EXPECT_EQ(Json(r.out)["File"].toString().toStdString(), good);
  for (const std::string& bad : {empty, noise, missing}) {
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
  }
}

TEST(ThumbnailCommand, WritesTheFrameAsABitmapOrFailsClearly) {
  testsupport::TempDir dir;
  // Half the clip is red, half blue: the default time (half the duration) shows blue.
  const std::string clip =
      Make(dir, {"clip.mp4",
                 {"-f", "lavfi", "-i", "color=c=red:size=160x120:rate=10:duration=2", "-f", "lavfi",
                  "-i", "color=c=blue:size=160x120:rate=10:duration=2", "-filter_complex",
                  "[0][1]concat=n=2:v=1", "-c:v", "libx264", "-g", "5"}});
  struct Case {
    std::vector<std::string> extra;
    QRgb colour;
  };
  for (const Case& c : {Case{{}, qRgb(0, 0, 255)}, Case{{"--at", "0.5"}, qRgb(255, 0, 0)}}) {
    const std::string out = (dir.path() / "thumb.bmp").string();
    std::vector<std::string> argv = {ProgramPath("wizconv-cli"), "thumbnail", clip, out};
    argv.insert(argv.end(), c.extra.begin(), c.extra.end());
    auto r = RunProcess(argv);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QImage image(QString::fromStdString(out), "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(160, 120));
    const QColor centre = image.pixelColor(80, 60);
    const QColor want(c.colour);
    EXPECT_NEAR(centre.red(), want.red(), 40);
    EXPECT_NEAR(centre.blue(), want.blue(), 40);
  }
  auto r = RunProcess({ProgramPath("wizconv-cli"), "thumbnail", (dir.path() / "none.mp4").string(),
                       (dir.path() / "x.bmp").string()});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(r.err.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.bmp"));
}

// A network source that sends its first 500 bytes and then nothing: probe and thumbnail
// give up after the engine's open time-out (10 s) with its text, and Ctrl+C stops them
// at once. The four runs go side by side.
TEST(ProbeCommand, AStalledNetworkSourceEndsAtTheTimeOutOrAtCtrlC) {
  using Clock = std::chrono::steady_clock;
  testsupport::TempDir dir;
  const std::string clip =
      Make(dir, {"clip.ts",
                 {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=2", "-c:v",
                  "mpeg2video"}});
  testsupport::StallingHttpServer server(testsupport::ReadFile(clip).substr(0, 500));
  const std::string cli = ProgramPath("wizconv-cli");
  struct Case {
    const char* name;
    std::string path;  // on the server: each run asks for its own
    std::vector<std::string> words;
    bool ctrlC;
    int exitCode;
    const char* text;
  };
  const std::string bmp = (dir.path() / "stalled.bmp").string();
  const std::vector<Case> cases = {
      {"probe, time-out", "/a.ts", {"probe"}, false, 1, "connecting/reading/writing timeout"},
      {"thumbnail, time-out", "/b.ts", {"thumbnail"}, false, 1,
       "connecting/reading/writing timeout"},
      {"probe, Ctrl+C", "/c.ts", {"probe"}, true, 130, "stopped"},
      {"thumbnail, Ctrl+C", "/d.ts", {"thumbnail"}, true, 130, "stopped"},
  };
  const size_t n = cases.size();
  std::vector<testsupport::ProcessResult> results(n);
  std::vector<double> seconds(n);  // from the start, or from Ctrl+C
  std::vector<std::atomic<int>> pids(n);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < n; ++i) {
    const Case& c = cases[i];
    // The shell says when it starts and then becomes the program (same process id).
    std::vector<std::string> argv = {"/bin/bash", "-c", "echo started >&2; exec \"$@\"", "bash",
                                     cli, c.words[0], server.Url(c.path)};
    if (c.words[0] == "thumbnail") argv.push_back(bmp);
    auto start = std::make_shared<std::atomic<Clock::rep>>(Clock::now().time_since_epoch().count());
    threads.emplace_back([&, i, argv, start] {
      results[i] = RunProcess(argv, "", 60, [&](int pid, const testsupport::ProcessResult&) {
        pids[i] = pid;
      });
      seconds[i] = std::chrono::duration<double>(Clock::now().time_since_epoch() -
                                                 Clock::duration(start->load()))
                       .count();
    });
    if (c.ctrlC)
      threads.emplace_back([&, i, start] {
        // Ctrl+C once the program waits for the server.
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while ((pids[i] == 0 || server.RequestsFor(cases[i].path) == 0) && Clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        start->store(Clock::now().time_since_epoch().count());
        if (pids[i] != 0) kill(pids[i], SIGINT);
      });
  }
  for (auto& thread : threads) thread.join();
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(results[i].exitCode, cases[i].exitCode) << results[i].err;
    EXPECT_NE(results[i].err.find(cases[i].text), std::string::npos) << results[i].err;
    EXPECT_GE(server.RequestsFor(cases[i].path), 1);
    if (cases[i].ctrlC) {
      EXPECT_LT(seconds[i], 3.0);
    } else {
      EXPECT_GE(seconds[i], 9.5);
      EXPECT_LT(seconds[i], 15.0);
    }
    EXPECT_TRUE(results[i].out.empty()) << results[i].out;
  }
  EXPECT_FALSE(std::filesystem::exists(bmp));
}
