// Resuming into a partial file: the answers real servers give to a range request, and
// what becomes of the bytes the partial file already holds.
#include <gtest/gtest.h>

#include <filesystem>

#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

using namespace httptest;
using namespace std::chrono_literals;
using http::TWinHTTP;

namespace {

constexpr size_t kWhole = 300000;
constexpr size_t kHeld = 100000;

std::string Head(const std::string& statusLine, const std::vector<std::string>& fields) {
  std::string h = "HTTP/1.1 " + statusLine + "\r\n";
  for (const auto& f : fields) h += f + "\r\n";
  return h + "Connection: close\r\n\r\n";
}

class ResumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    // The server library cuts ranges itself and, like nginx, sends no Accept-Ranges
    // with its 206 answers.
    server.server.Get("/nginx-like", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, "application/octet-stream");
    });
  }
  std::filesystem::path Partial() { return dir.write("video.bin", body.substr(0, kHeld)); }
  std::vector<std::string> FolderNames() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      names.push_back(e.path().filename().string());
    return names;
  }

  const std::string body = PatternBytes(kWhole, 3);
  TestServer server;
  // Answers a range request the ways the component must not take at face value.
  RawServer raw{[this](const std::string& request, RawServer::Connection& c) {
    const std::string length = "Content-Length: " + std::to_string(kWhole);
    if (request.rfind("GET /wrong-offset ", 0) == 0) {
      c.write(Head("206 Partial Content",
                 {length, "Content-Range: bytes 0-299999/300000"}) + body);
    } else if (request.rfind("GET /no-content-range ", 0) == 0) {
      c.write(Head("206 Partial Content", {"Content-Length: 200000"}) + body.substr(kHeld));
    } else if (request.rfind("GET /whole-then-cut ", 0) == 0) {
      c.write(Head("200 OK", {length}) + body.substr(0, 150000));
    } else if (request.rfind("GET /whole-then-silent ", 0) == 0) {
      c.write(Head("200 OK", {length}) + body.substr(0, 150000));
      c.holdOpen(20000);
    } else if (request.rfind("GET /whole ", 0) == 0) {
      c.write(Head("200 OK", {length}) + body);
    }
  }};
  testsupport::TempDir dir;
};

TEST_F(ResumeTest, AnswersToTheRangeRequestTable) {
  struct Case {
    std::string url;
    std::vector<std::string> events;
    bool completed;  // the file is the whole body; otherwise it is the partial file, untouched
    std::string inError;
  };
  const Case cases[] = {
      {server.url("/nginx-like"), {"Done"}, true, ""},
      {raw.url("/wrong-offset"), {"AnyError"}, false, "from byte 0"},
      {raw.url("/no-content-range"), {"AnyError"}, false, "Content-Range"},
      {raw.url("/whole"), {"Done"}, true, ""},
      {raw.url("/whole-then-cut"), {"ConnLost", "AnyError"}, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const auto out = Partial();
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = c.url;
    h.OutputFileName = out.string();
    ASSERT_TRUE(h.StartTransferRange(kHeld, 0));
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_TRUE(WaitIdle(h));
    EXPECT_EQ(r.events, c.events);
    const std::string now = testsupport::ReadFile(out);
    EXPECT_EQ(now.size(), c.completed ? kWhole : kHeld);
    EXPECT_TRUE(now == (c.completed ? body : body.substr(0, kHeld)));
    EXPECT_NE(h.LastErrorText().find(c.inError), std::string::npos) << h.LastErrorText();
    // Nothing is left beside the output.
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"video.bin"}));
  }
}

TEST_F(ResumeTest, AbortWhileAWholeAnswerReplacesThePartialFileKeepsThePartialFile) {
  for (bool withProgress : {false, true}) {
    SCOPED_TRACE(withProgress ? "with progress" : "without progress");
    const auto out = Partial();
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    if (withProgress) r.recordProgress(h);
    h.URL = raw.url("/whole-then-silent");
    h.OutputFileName = out.string();
    ASSERT_TRUE(h.StartTransferRange(kHeld, 0));
    // Wait until the replacement has received its 150000 bytes and the server went silent.
    ASSERT_TRUE(core::MainThread::WaitWhileServing(
        [&] {
          for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path() != out && std::filesystem::file_size(e.path()) >= 140000) return true;
          return false;
        },
        10s));
    h.AbortTransfer(false, false);
    ASSERT_TRUE(WaitForEnd(r, 5s));
    ASSERT_TRUE(WaitIdle(h));
    EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));
    EXPECT_TRUE(testsupport::ReadFile(out) == body.substr(0, kHeld));
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"video.bin"}));
  }
}

}  // namespace
