// wizconv-cli fetch against a loopback server: exit codes, the body in the file
// or on standard output, the page of an HTTP error, and Ctrl+C followed by
// --resume.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "HttpTestSupport.h"
#include "TestSupport.h"

using namespace httptest;
using namespace std::chrono_literals;

namespace {

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

class FetchCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cli = testsupport::RuntimeDir() / "wizconv-cli";
    if (!std::filesystem::exists(cli)) GTEST_SKIP() << "wizconv-cli is not built: " << cli;
    body = PatternBytes(300000, 21);
    server.server.Get("/file", [this](const httplib::Request&, httplib::Response& res) {
      res.set_header("Accept-Ranges", "bytes");
      res.set_content(body, "application/octet-stream");
    });
    server.server.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
        if (offset == 0)
          sink.write("no length given\n", 16);
        else
          sink.done();
        return true;
      });
    });
    server.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("no such video\n", "text/plain");
    });
    // 100000 bytes at once, then silence until the server stops.
    server.server.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Accept-Ranges", "bytes");
      if (req.has_header("Range")) {
        res.set_content(body, "application/octet-stream");
        return;
      }
      res.set_content_provider(body.size(), "application/octet-stream",
                               [this](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset == 0) {
                                   sink.write(body.data(), 100000);
                                   return true;
                                 }
                                 server.stall(30000);
                                 return false;
                               });
    });
  }

  pid_t Start(const std::vector<std::string>& args) {
    outPath = dir.path() / "stdout.txt";
    errPath = dir.path() / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      std::string program = cli.string(), command = "fetch";
      argv.push_back(program.data());
      argv.push_back(command.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }
  CliRun Finish(pid_t pid) {
    CliRun r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = testsupport::ReadFile(outPath);
    r.err = testsupport::ReadFile(errPath);
    return r;
  }
  CliRun Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

  std::filesystem::path cli, outPath, errPath;
  std::string body;
  TestServer server;
  testsupport::TempDir dir;
};

TEST_F(FetchCommandTest, ExitCodeTable) {
  int closedPort;
  {
    TestServer gone;
    closedPort = gone.port();
  }
  const auto file = (dir.path() / "video.bin").string();
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string inErr;
  };
  const Case cases[] = {
      {{server.url("/file"), "-o", file}, 0, "done: 300000 bytes"},
      {{server.url("/missing")}, 1, "no such video"},
      // An output that cannot be created is an error, never a body on standard output.
      {{server.url("/chunked"), "-o", (dir.path() / "no" / "such" / "x").string()},
       5,
       "cannot write"},
      {{server.url("/file"), "-o", (dir.path() / "no" / "such" / "x").string()},
       5,
       "cannot write"},
      {{"http://127.0.0.1:" + std::to_string(closedPort) + "/x"}, 2, "cannot reach"},
      {{}, 64, "usage"},
      {{server.url("/file"), "--range", "9-3"}, 64, "usage"},
      {{server.url("/file"), "--resume"}, 64, "usage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args.front());
    const CliRun r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(testsupport::ReadFile(file) == body);
}

TEST_F(FetchCommandTest, BodyGoesToStandardOutputAndHeadersToStandardError) {
  const CliRun r = Run({server.url("/file"), "--range", "10-19"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out == body.substr(10, 10));
  EXPECT_NE(r.err.find("HTTP/1.1 206"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Content-Range: bytes 10-19/300000"), std::string::npos) << r.err;
}

TEST_F(FetchCommandTest, CtrlCKeepsThePartialFileAndResumeCompletesIt) {
  const auto file = (dir.path() / "slow.bin").string();
  const pid_t pid = Start({server.url("/slow"), "-o", file});
  // Wait until the first whole block (64 KiB) is on disk.
  for (int i = 0; i < 400; ++i) {
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) >= 65536 && !ec) break;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGINT);
  const CliRun aborted = Finish(pid);
  EXPECT_EQ(aborted.exitCode, 3) << aborted.err;
  EXPECT_NE(aborted.err.find("kept for --resume"), std::string::npos) << aborted.err;
  const auto partial = std::filesystem::file_size(file);
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, body.size());

  const CliRun resumed = Run({server.url("/slow"), "-o", file, "--resume"});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_TRUE(testsupport::ReadFile(file) == body);
}

TEST_F(FetchCommandTest, StallEndsTheTransferAndKeepsEveryByteThatArrived) {
  const auto file = (dir.path() / "stalled.bin").string();
  const auto start = std::chrono::steady_clock::now();
  const CliRun r = Run({server.url("/slow"), "-o", file, "--stall", "0.5"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_NE(r.err.find("no data for 0.5 s"), std::string::npos) << r.err;
  // 100000 bytes: one whole block of 64 KiB and the rest of the block that never filled.
  EXPECT_TRUE(testsupport::ReadFile(file) == body.substr(0, 100000));
  for (const char* bad : {"-1", "x", "1.2.3", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Run({server.url("/file"), "--stall", bad}).exitCode, 64);
  }
}

}  // namespace
