// wizconv-cli download against the stand-in service: the same run as the window.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "StandInService.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ProcessResult;

namespace testsupport {
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutSeconds,
                         const std::function<void(int pid, const ProcessResult& soFar)>& watch);
std::string ProgramPath(const std::string& name);
}  // namespace testsupport

namespace {

ProcessResult download(standin::Service& s, const std::vector<std::string>& args,
                       const std::function<void(int, const ProcessResult&)>& watch = nullptr) {
  std::vector<std::string> argv = {testsupport::ProgramPath("wizconv-cli"), "download",
                                   "--service", s.Domain()};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunProcess(argv, "", 60, watch);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

const std::string& clip() {
  static const std::string bytes = standin::Clip("clip.mp4");
  return bytes;
}

}  // namespace

TEST(DownloadCommandTest, SavesEveryEntryPrintsThePathsAndTellsFailuresByItsExitCode) {
  standin::Service s;
  s.Add({"a", "Alpha: one", {{18, clip()}}});
  standin::Video broken{"b", "Broken", {}};
  broken.broken = {18, 35};
  s.Add(broken);
  s.Add({"c", "Gamma", {{35, clip()}}});
  testsupport::TempDir out;
  const std::string folder = out.str() + "/new/sub";

  const ProcessResult all = download(s, {"--out", folder, s.WatchUrl("a"), s.WatchUrl("c")});
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(linesOf(all.out),
            (std::vector<std::string>{folder + "/Alpha_ one.mp4", folder + "/Gamma.flv"}));
  EXPECT_NE(all.err.find("总文件：2  成功：2  失败：0"), std::string::npos) << all.err;
  // One line per report of the file: status, size, speed, percent and time left.
  EXPECT_NE(all.err.find("[1/2] 正在下载...  "), std::string::npos) << all.err;
  EXPECT_NE(all.err.find(" KB/s  100%  "), std::string::npos) << all.err;
  EXPECT_EQ(testsupport::ReadFile(folder + "/Gamma.flv"), clip());

  const ProcessResult some =
      download(s, {"--out", folder, s.WatchUrl("a"), s.WatchUrl("b"), s.WatchUrl("a")});
  EXPECT_EQ(some.exitCode, 1) << some.err;
  EXPECT_EQ(linesOf(some.out), std::vector<std::string>{folder + "/Alpha_ one(1).mp4"});
  EXPECT_NE(some.err.find("这段视频已在下载列表中。"), std::string::npos);
  EXPECT_NE(some.err.find("总文件：2  成功：1  失败：1"), std::string::npos) << some.err;
  EXPECT_NE(some.err.find("[2/2] 失败。 " + s.WatchUrl("b") + ": "), std::string::npos) << some.err;
}

TEST(DownloadCommandTest, QualityOptionsChooseTheAttempts) {
  const struct {
    std::vector<std::string> options;
    std::vector<int> itags;
    const char* file;
  } cases[] = {
      {{}, {18}, "V.mp4"},
      {{"--order", "default"}, {18}, "V.mp4"},
      {{"--order", "best"}, {37, 22}, "V.mp4"},
      {{"--default-quality"}, {5}, "V.flv"},
  };
  for (const auto& c : cases) {
    standin::Service s;
    standin::Video v{"v", "V", {{5, clip()}, {18, clip()}, {22, clip()}}};
    v.broken = {37};
    s.Add(v);
    testsupport::TempDir out;
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--out", out.str(), s.WatchUrl("v")});
    const ProcessResult r = download(s, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(s.VideoItags(), c.itags) << c.file;
    EXPECT_TRUE(fs::exists(out.path() / c.file)) << c.file;
  }
}

TEST(DownloadCommandTest, UsageErrorsExitWithTwoAndFetchNothing) {
  standin::Service s;
  s.Add({"a", "A", {{18, clip()}}});
  testsupport::TempDir out;
  out.write("file", "x");
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "no address given"},
      {{"--order", "worst", s.WatchUrl("a")}, "--order is default or best"},
      {{"--bogus", s.WatchUrl("a")}, "unknown option --bogus"},
      {{"--out"}, "--out needs a value"},
      {{s.WatchUrl("a"), "http://elsewhere.example/watch?v=a"}, "这不是一个YouTube视频链接。"},
      {{"--out", out.str() + "/file/sub", s.WatchUrl("a")}, "cannot create the folder"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = download(s, c.args);
    EXPECT_EQ(r.exitCode, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_TRUE(s.Requests().empty());
}

TEST(DownloadCommandTest, CtrlCCancelsTheRunAndPrintsTheSummary) {
  standin::Service s;
  s.Add({"1", "One", {{18, clip()}}});
  standin::Video slow{"2", "Two", {{18, clip()}}};
  slow.stallBeforeBodyMs = 30000;
  s.Add(slow);
  s.Add({"3", "Three", {{18, clip()}}});
  testsupport::TempDir out;
  bool sent = false;
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult r =
      download(s, {"--out", out.str(), s.WatchUrl("1"), s.WatchUrl("2"), s.WatchUrl("3")},
               [&](int pid, const ProcessResult& soFar) {
                 if (!sent && soFar.err.find("[2/3] 分析完毕") != std::string::npos) {
                   sent = true;
                   ::kill(pid, SIGINT);
                 }
               });
  EXPECT_TRUE(sent);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("总文件：3  成功：1  失败：2  (cancelled)"), std::string::npos) << r.err;
  EXPECT_EQ(linesOf(r.out), std::vector<std::string>{out.str() + "/One.mp4"});
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(out.path())) files.push_back(e.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{"One.mp4"});
}
